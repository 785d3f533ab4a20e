// Font list, request parser and font matching (sizes in pixels).
#include "display/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QList>
#include <QStringList>
#include <cctype>
#include <cmath>

namespace kt::display {
namespace {

constexpr int kMaxFaceLength = 31;
constexpr int kMaxNumber = 32767;

bool same_face(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Reads the digits after position `i` (which holds the option letter); leaves `i` on the last
// character read.
int read_number(std::string_view text, std::size_t& i) {
  long value = 0;
  while (i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
    ++i;
    value = std::min<long>(value * 10 + (text[i] - '0'), kMaxNumber);
  }
  return static_cast<int>(value);
}

const FontEntry* find_face(const QString& face, const std::vector<FontEntry>& list) {
  for (const FontEntry& entry : list) {
    if (same_face(entry.face, face)) return &entry;
  }
  return nullptr;
}

QFont base_font(const FontEntry& entry) {
  QFont font(entry.face);
  font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setKerning(false);
  return font;
}

}  // namespace

std::optional<FontRequest> parse_font_request(std::string_view text) {
  FontRequest request;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    switch (c) {
      case 't': {
        if (i + 1 >= text.size() || text[i + 1] != '\'') break;  // not a face option
        const std::size_t close = text.find('\'', i + 2);
        if (close == std::string_view::npos) return std::nullopt;
        const std::size_t length = close - (i + 2);
        if (length > static_cast<std::size_t>(kMaxFaceLength)) return std::nullopt;
        request.face = QString::fromLatin1(text.data() + i + 2, static_cast<qsizetype>(length));
        i = close;
        break;
      }
      case 'h':
        request.height = read_number(text, i);
        break;
      case 'w':
        request.width = read_number(text, i);
        break;
      case 'f':
        request.pitch = Pitch::fixed;
        break;
      case 'p':
        request.pitch = Pitch::proportional;
        break;
      case 'v':
        request.kind = FontKind::scalable;
        break;
      case 'r':
        request.kind = FontKind::raster;
        break;
      case 'b':
        request.best_fit = true;
        break;
      case 'i':
        request.italic = true;
        break;
      case 'u':
        request.underline = true;
        break;
      case 'e':
        request.bold = true;
        break;
      case 'n':
        // The font number selects at once; nothing after it counts.
        request.number = read_number(text, i);
        if (request.number == 0) request.number = -1;
        return request;
      default:
        break;  // not an option
    }
  }
  return request;
}

QString resolve_face(const QString& face, const std::vector<FontEntry>& installed) {
  QString wanted = face.trimmed();
  const QString lower = wanted.toLower();
  if (lower == "tms rmn") wanted = "Times New Roman";
  if (lower == "courier") wanted = "Courier New";
  if (lower == "helv") wanted = "Arial";
  if (const FontEntry* entry = find_face(wanted, installed)) return entry->face;
  // Metric-compatible faces stand in for missing ones.
  const QString target = wanted.toLower();
  QString twin;
  if (target == "times new roman") twin = "Liberation Serif";
  if (target == "arial") twin = "Liberation Sans";
  if (target == "courier new") twin = "Liberation Mono";
  if (!twin.isEmpty()) {
    if (const FontEntry* entry = find_face(twin, installed)) return entry->face;
  }
  return wanted;
}

std::vector<FontEntry> build_font_list() {
  std::vector<FontEntry> list;
  const QStringList families = QFontDatabase::families();
  for (const QString& family : families) {
    if (QFontDatabase::isPrivateFamily(family)) continue;
    const bool fixed = QFontDatabase::isFixedPitch(family);
    if (QFontDatabase::isScalable(family)) {
      FontEntry entry;
      entry.face = family;
      entry.fixed_pitch = fixed;
      entry.scalable = true;
      list.push_back(entry);
      continue;
    }
    for (int points : QFontDatabase::pointSizes(family)) {
      QFont font(family);
      font.setPointSize(points);
      const QFontMetricsF metrics(font);
      FontEntry entry;
      entry.face = family;
      entry.fixed_pitch = fixed;
      entry.scalable = false;
      entry.height = static_cast<int>(std::lround(metrics.height()));
      entry.average_width = static_cast<int>(std::lround(metrics.averageCharWidth()));
      list.push_back(entry);
    }
  }
  return list;
}

int select_font(const FontRequest& request, const std::vector<FontEntry>& list) {
  const int count = static_cast<int>(list.size());
  if (request.number != 0) {
    return (request.number >= 1 && request.number <= count) ? request.number - 1 : -1;
  }
  const QString face = request.face.isEmpty() ? QString() : resolve_face(request.face, list);
  int best = -1;
  int best_score = 200;
  for (int i = 0; i < count; ++i) {
    const FontEntry& entry = list[static_cast<std::size_t>(i)];
    if (!face.isEmpty() && !same_face(entry.face, face)) continue;
    if (request.pitch == Pitch::fixed && !entry.fixed_pitch) continue;
    if (request.pitch == Pitch::proportional && entry.fixed_pitch) continue;
    if (request.kind == FontKind::scalable && !entry.scalable) continue;
    if (request.kind == FontKind::raster && entry.scalable) continue;
    if (entry.scalable) return i;
    if (request.best_fit) {
      const int score =
          std::abs(entry.height - request.height) + std::abs(entry.average_width - request.width);
      if (score < best_score) {
        best_score = score;
        best = i;
      }
      continue;
    }
    const bool height_ok = request.height == 0 || entry.height == request.height;
    const bool width_ok = request.width == 0 || entry.average_width == request.width;
    if (height_ok && width_ok) return i;
  }
  return best;
}

double average_char_width(const QFont& font) {
  // Weighted mean of the lower-case letters and the blank (weights per thousand of English
  // text), the classic definition of a face's average character width.
  static constexpr int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                       56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
  const QFontMetricsF metrics(font);
  double sum = 0.0;
  for (int i = 0; i < 26; ++i) sum += kWeights[i] * metrics.horizontalAdvance(QChar('a' + i));
  sum += kWeights[26] * metrics.horizontalAdvance(QChar(' '));
  return sum / 1000.0;
}

MadeFont make_font(const FontEntry& entry, const FontRequest& request) {
  MadeFont made;
  QFont font = base_font(entry);
  if (!entry.scalable) {
    // Raster faces keep their own size.
    QFont sized(entry.face);
    sized.setStyleStrategy(font.styleStrategy());
    for (int points : QFontDatabase::pointSizes(entry.face)) {
      sized.setPointSize(points);
      if (std::lround(QFontMetricsF(sized).height()) == entry.height) break;
    }
    font = sized;
  } else if (request.height > 0) {
    // The request gives the cell height (ascent plus descent); find the pixel size for it.
    int pixels = request.height;
    font.setPixelSize(pixels);
    const double cell = QFontMetricsF(font).height();
    if (cell > 0.0) pixels = std::max(1, static_cast<int>(std::lround(pixels * pixels / cell)));
    font.setPixelSize(pixels);
    while (pixels > 1 && QFontMetricsF(font).height() > request.height + 0.5) {
      font.setPixelSize(--pixels);
    }
  } else if (request.width > 0) {
    // Only a width: the face's own proportions give the height.
    font.setPixelSize(32);
    const double average = average_char_width(font);
    const int pixels =
        average > 0.0 ? std::max(1, static_cast<int>(std::lround(32.0 * request.width / average)))
                      : 16;
    font.setPixelSize(pixels);
  } else {
    font.setPixelSize(16);
  }
  font.setItalic(request.italic);
  font.setUnderline(request.underline);
  if (request.bold) font.setWeight(QFont::Bold);
  if (entry.scalable && request.width > 0) {
    const double average = average_char_width(font);
    if (average > 0.0) made.x_scale = request.width / average;
  }
  made.font = font;
  return made;
}

}  // namespace kt::display
