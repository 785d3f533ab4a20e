// Modal dialogs built from templates (controls placed by dialog units of the dialog font),
// their control operations and callbacks, and the open-file chooser.
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "display/context.h"
#include "display/dialog_template.h"
#include "display/frame.h"
#include "display/qt_access.h"

namespace kt::display {
namespace {

// Notification codes passed to control callbacks.
constexpr std::int32_t kButtonClicked = 0;
constexpr std::int32_t kEditChanged = 0x300;
constexpr int kMinimumLabelPixels = 8;

// A group box drawn as dialogs draw it: an etched frame whose top line runs through the middle
// of the title, which sits at the top-left of the box.
class GroupFrame : public QWidget {
 public:
  GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
  }
  QString title() const { return title_; }
  void set_title(const QString& title) {
    title_ = title;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int line_y = metrics.height() / 2;
    const QRect frame(0, line_y, width() - 2, height() - line_y - 2);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    if (title_.isEmpty()) return;
    const int text_x = metrics.averageCharWidth() + 2;
    const QRect text_box(text_x, 0, metrics.horizontalAdvance(title_) + 4, metrics.height());
    painter.fillRect(text_box, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(text_box.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, title_);
  }

 private:
  QString title_;
};

class TemplateDialog : public QDialog {
 public:
  using QDialog::QDialog;
  void reject() override { done(kDialogCancel); }  // Escape and the close box
};

// The installed face nearest to the template's face.
QString dialog_face(const QString& wanted) {
  const QStringList families = QFontDatabase::families();
  for (const QString& candidate :
       {wanted, QString("Microsoft Sans Serif"), QString("Liberation Sans"), QString("Arial"),
        QString("DejaVu Sans")}) {
    for (const QString& family : families) {
      if (family.compare(candidate, Qt::CaseInsensitive) == 0) return family;
    }
  }
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

// The condensed cut of a face ("Liberation Sans Narrow"), or empty when none is installed.
QString narrow_face_of(const QString& face) {
  const QString wanted = face + " Narrow";
  for (const QString& family : QFontDatabase::families()) {
    if (family.compare(wanted, Qt::CaseInsensitive) == 0) return family;
  }
  return {};
}

int mul_div(int value, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

struct DialogControl {
  const ControlTemplate* form = nullptr;
  QWidget* widget = nullptr;
  int group = 0;
  DialogCallback callback;
  bool in_callback = false;
};

struct DialogObject {
  DialogTemplate form;  // the caller's template, copied; its controls stay where they are
  std::unique_ptr<TemplateDialog> dialog;
  QWidget* canvas = nullptr;  // holds the controls, in the dialog's scroll area
  std::vector<DialogControl> controls;

  DialogControl* find(int id) {
    for (DialogControl& control : controls) {
      if (control.form->id == id) return &control;
    }
    return nullptr;
  }
};

namespace {

// Gives the keyboard back to the frame once a modal window has closed.
void reactivate_frame() {
  if (QMainWindow* frame = frame_state().frame) frame->activateWindow();
}

// Runs `work` on the GUI thread (the dialog objects live there).
template <class Work>
void on_gui(Work&& work) {
  run_on_gui_thread(std::function<void()>(std::forward<Work>(work)));
}

void run_callback(DialogObject& object, DialogControl& control, std::int32_t kind) {
  if (!control.callback || control.in_callback || !object.dialog->isVisible()) return;
  control.in_callback = true;
  const DialogCallback callback = control.callback;  // it may replace itself
  callback(object, control.form->id, kind);
  if (DialogControl* still = object.find(control.form->id)) still->in_callback = false;
}

void set_radio(DialogObject& object, DialogControl& control, bool checked) {
  auto* button = static_cast<QRadioButton*>(control.widget);
  if (checked) {
    for (DialogControl& other : object.controls) {
      if (&other != &control && other.group == control.group &&
          other.form->kind == ControlKind::radio_button) {
        static_cast<QRadioButton*>(other.widget)->setChecked(false);
      }
    }
  }
  button->setChecked(checked);
}

// Whether a label's text fits the room it has (its box, up to the next control on its right) in
// `font`, wrapping words when the box has room for more than one line.
bool label_fits(const QLabel* label, const QFont& font, const QRect& box, int room_width) {
  const QFontMetrics metrics(font);
  const bool multi_line = box.height() >= 2 * metrics.height();
  const int flags = Qt::AlignLeft | Qt::AlignTop | (multi_line ? Qt::TextWordWrap : 0);
  const QRect needed = metrics.boundingRect(QRect(0, 0, room_width, 10000), flags, label->text());
  return needed.width() <= room_width && needed.height() <= box.height();
}

// Dialog units of the template's font: a quarter of the average character width, an eighth of
// the character height.
struct DialogUnits {
  int base_x = 1, base_y = 1;
  QRect to_pixels(int x, int y, int width, int height) const {
    return QRect(mul_div(x, base_x, 4), mul_div(y, base_y, 8), mul_div(width, base_x, 4),
                 mul_div(height, base_y, 8));
  }
};

// The room a dialog window's decoration takes beside its client area, when the window system
// has not yet told it (before the window was first shown).
constexpr int kDecorationAllowance = 48;

// The dialog window with its caption and font, its controls on a canvas of the template's size
// in a scroll area: the window is as large as the canvas, or as the screen's available area
// allows, and scrolls what does not fit. Placed over the frame's client area, within the screen.
DialogUnits make_dialog_window(DialogObject& object, const QFont& font) {
  const DialogTemplate& form = object.form;
  FrameState& state = frame_state();
  object.dialog = std::make_unique<TemplateDialog>(state.frame.data());
  QDialog* dialog = object.dialog.get();
  dialog->setWindowTitle(QString::fromStdString(form.caption));
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint);
  dialog->setFont(font);
  const QFontMetrics metrics(font);
  DialogUnits units;
  units.base_x = std::max(
      1, mul_div(metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
                 1, 52));
  units.base_y = std::max(1, metrics.height());
  const QRect client = units.to_pixels(form.x, form.y, form.width, form.height);

  auto* scroll = new QScrollArea(dialog);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(false);
  object.canvas = new QWidget;
  object.canvas->setObjectName(kDialogCanvasName);
  object.canvas->setFixedSize(client.size());
  scroll->setWidget(object.canvas);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll);

  // What the screen holds: its available area less the window's decoration.
  QScreen* screen = state.frame != nullptr ? state.frame->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 4096, 4096);
  const QSize room(std::max(1, available.width() - kDecorationAllowance / 4),
                   std::max(1, available.height() - kDecorationAllowance));
  QSize size = client.size();
  const int bar = dialog->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (size.height() > room.height()) size.rwidth() += bar;  // a vertical bar takes width
  if (size.width() > room.width()) size.rheight() += bar;
  size = size.boundedTo(room);
  dialog->setFixedSize(size);

  if (QMainWindow* frame = state.frame) {
    const QPoint origin = frame->centralWidget() != nullptr
                              ? frame->centralWidget()->mapToGlobal(QPoint(0, 0))
                              : frame->geometry().topLeft();
    QPoint at = origin + client.topLeft();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() - size.width())));
    at.setY(std::clamp(
        at.y(), available.top(),
        std::max(available.top(), available.bottom() - size.height() - kDecorationAllowance / 2)));
    dialog->move(at);
  }
  return units;
}

QWidget* make_control_widget(const ControlTemplate& control, QWidget* dialog) {
  const QString text = QString::fromStdString(control.text);
  switch (control.kind) {
    case ControlKind::group_box:
      return new GroupFrame(text, dialog);
    case ControlKind::radio_button: {
      auto* button = new QRadioButton(text, dialog);
      button->setAutoExclusive(false);
      return button;
    }
    case ControlKind::label: {
      auto* label = new QLabel(text, dialog);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::edit_field: {
      auto* edit = new QLineEdit(dialog);
      edit->setText(text);
      edit->setTextMargins(1, 0, 1, 0);
      return edit;
    }
    case ControlKind::push_button:
      break;
  }
  auto* button = new QPushButton(text, dialog);
  button->setDefault(control.default_button);
  button->setAutoDefault(control.default_button);
  return button;
}

// Every label gets the room up to the next control on its right, and all labels one font: the
// dialog's font when every text fits in it, else the condensed cut of its face, else the largest
// smaller size at which every text fits.
void fit_labels(DialogObject& object, const QFont& dialog_font, const QString& narrow_face) {
  struct Room {
    QLabel* label;
    QRect box;
    int width;
  };
  std::vector<Room> rooms;
  for (DialogControl& control : object.controls) {
    if (control.form->kind != ControlKind::label) continue;
    const QRect box = control.widget->geometry();
    int room = box.width();
    for (const DialogControl& other : object.controls) {
      const QRect other_box = other.widget->geometry();
      if (&other == &control || other.form->kind == ControlKind::group_box) continue;
      if (other_box.left() <= box.left() || other_box.bottom() < box.top() ||
          other_box.top() > box.bottom()) {
        continue;
      }
      room = std::min(room, other_box.left() - box.left() - 2);
    }
    rooms.push_back({static_cast<QLabel*>(control.widget), box, std::max(1, room)});
  }
  const auto all_fit = [&](const QFont& font) {
    return std::all_of(rooms.begin(), rooms.end(),
                       [&](const Room& r) { return label_fits(r.label, font, r.box, r.width); });
  };
  QFont font = dialog_font;
  if (!all_fit(font) && !narrow_face.isEmpty()) font.setFamily(narrow_face);
  while (!all_fit(font) && font.pixelSize() > kMinimumLabelPixels) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  for (const Room& r : rooms) {
    const QFontMetrics metrics(font);
    r.label->setFont(font);
    r.label->setWordWrap(r.box.height() >= 2 * metrics.height());
    r.label->setGeometry(r.box.x(), r.box.y(), std::max(r.box.width(), r.width), r.box.height());
  }
}

// Behaviour: automatic radio buttons, OK and Cancel, callbacks.
void connect_controls(DialogObject& object) {
  DialogObject* self = &object;
  QDialog* dialog = object.dialog.get();
  for (DialogControl& control : object.controls) {
    const int id = control.form->id;
    switch (control.form->kind) {
      case ControlKind::radio_button:
        QObject::connect(static_cast<QRadioButton*>(control.widget), &QRadioButton::clicked, dialog,
                         [self, id] {
                           DialogControl* target = self->find(id);
                           set_radio(*self, *target, true);
                           run_callback(*self, *target, kButtonClicked);
                         });
        break;
      case ControlKind::push_button:
        QObject::connect(static_cast<QPushButton*>(control.widget), &QPushButton::clicked, dialog,
                         [self, id] {
                           if (id == kDialogOk || id == kDialogCancel) {
                             self->dialog->done(id);
                             return;
                           }
                           run_callback(*self, *self->find(id), kButtonClicked);
                         });
        break;
      case ControlKind::edit_field:
        QObject::connect(static_cast<QLineEdit*>(control.widget), &QLineEdit::textChanged, dialog,
                         [self, id] { run_callback(*self, *self->find(id), kEditChanged); });
        break;
      default:
        break;
    }
  }
}

void build_dialog(DialogObject& object) {
  // The template's points at 96 pixels per inch, as the font's character height.
  QFont font(dialog_face(QString::fromStdString(object.form.font_face)));
  font.setPixelSize(mul_div(object.form.font_points, 96, 72));
  font.setHintingPreference(QFont::PreferFullHinting);
  const DialogUnits units = make_dialog_window(object, font);
  int group = 0;
  for (const ControlTemplate& control : object.form.controls) {
    if (control.group_start) ++group;
    QWidget* widget = make_control_widget(control, object.canvas);
    widget->setGeometry(units.to_pixels(control.x, control.y, control.width, control.height));
    object.controls.push_back({&control, widget, group, {}, false});
  }
  fit_labels(object, font, narrow_face_of(font.family()));
  connect_controls(object);
}

}  // namespace

DialogObject* dialog_init(const DialogTemplate& form) {
  // A repeated id would leave a control that no operation can reach.
  std::set<std::int32_t> ids;
  for (const ControlTemplate& control : form.controls) {
    if (!ids.insert(control.id).second) return nullptr;
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
  DialogObject* object = nullptr;
  on_gui([&] {
    object = new DialogObject;
    object->form = form;
    build_dialog(*object);
  });
  return object;
}

bool dialog_set_text(DialogObject& dialog, std::int32_t control_id, const char* text, int length) {
  bool done = false;
  on_gui([&] {
    DialogControl* control = dialog.find(control_id);
    if (control == nullptr) return;
    const QString value =
        (text == nullptr || length <= 0) ? QString() : QString::fromLatin1(text, length);
    if (auto* edit = qobject_cast<QLineEdit*>(control->widget)) {
      edit->setText(value);
      edit->setCursorPosition(0);  // show the start of a long text
    } else if (auto* label = qobject_cast<QLabel*>(control->widget)) {
      label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control->widget)) {
      button->setText(value);
    } else if (control->form->kind == ControlKind::group_box) {
      static_cast<GroupFrame*>(control->widget)->set_title(value);
    }
    done = true;
  });
  return done;
}

bool dialog_set_note(DialogObject& dialog, std::int32_t control_id, const std::string& note) {
  bool done = false;
  on_gui([&] {
    DialogControl* control = dialog.find(control_id);
    auto* edit = control == nullptr ? nullptr : qobject_cast<QLineEdit*>(control->widget);
    if (edit == nullptr) return;
    edit->setToolTip(QString::fromStdString(note));
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, note.empty()
                                         ? QApplication::palette(edit).color(QPalette::Base)
                                         : QColor(255, 236, 150));
    edit->setPalette(palette);
    done = true;
  });
  return done;
}

bool dialog_set_checked(DialogObject& dialog, std::int32_t control_id, bool checked) {
  bool done = false;
  on_gui([&] {
    DialogControl* control = dialog.find(control_id);
    if (control == nullptr || control->form->kind != ControlKind::radio_button) return;
    set_radio(dialog, *control, checked);
    done = true;
  });
  return done;
}

bool dialog_set_enabled(DialogObject& dialog, std::int32_t control_id, bool enabled) {
  bool done = false;
  on_gui([&] {
    DialogControl* control = dialog.find(control_id);
    if (control == nullptr) return;
    control->widget->setEnabled(enabled);
    done = true;
  });
  return done;
}

bool dialog_get_text(DialogObject& dialog, std::int32_t control_id, std::string& out,
                     int capacity) {
  bool done = false;
  on_gui([&] {
    DialogControl* control = dialog.find(control_id);
    if (control == nullptr) return;
    QString value;
    if (auto* edit = qobject_cast<QLineEdit*>(control->widget)) {
      value = edit->text();
    } else if (auto* label = qobject_cast<QLabel*>(control->widget)) {
      value = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control->widget)) {
      value = button->text();
    } else if (control->form->kind == ControlKind::group_box) {
      value = static_cast<GroupFrame*>(control->widget)->title();
    }
    const auto size = static_cast<std::size_t>(std::max(0, capacity));
    out = value.toLatin1().toStdString().substr(0, size);
    out.resize(size, ' ');
    done = true;
  });
  return done;
}

bool dialog_set_callback(DialogObject& dialog, std::int32_t control_id, DialogCallback callback) {
  bool done = false;
  on_gui([&] {
    DialogControl* control = dialog.find(control_id);
    if (control == nullptr) return;
    control->callback = std::move(callback);
    done = true;
  });
  return done;
}

std::int32_t dialog_run_modal(DialogObject& dialog) {
  int result = kDialogCancel;
  on_gui([&] {
    const int code = dialog.dialog->exec();
    result = code == kDialogOk ? kDialogOk : kDialogCancel;
    reactivate_frame();
  });
  return result;
}

void dialog_release(DialogObject* dialog) {
  if (dialog == nullptr) return;
  on_gui([dialog] { delete dialog; });
}

QDialog* dialog_widget(DialogObject& dialog) {
  return dialog.dialog.get();
}

QWidget* dialog_canvas(DialogObject& dialog) {
  return dialog.canvas;
}

QWidget* dialog_control(DialogObject& dialog, int control_id) {
  DialogControl* control = dialog.find(control_id);
  return control != nullptr ? control->widget : nullptr;
}

// ---- Open-file chooser -------------------------------------------------------------------------

std::string show_open_file_chooser(std::string_view title, std::string_view initial_name) {
  std::string result(initial_name);
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return result;
  on_gui([&] {
    QFileDialog chooser(frame_state().frame.data(),
                        QString::fromLocal8Bit(title.data(), static_cast<qsizetype>(title.size())));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = {" PAR Files (*.par)", " All Files (*.*)"};
    chooser.setNameFilters(filters);
    chooser.selectNameFilter(filters.first());
    chooser.selectFile(
        QString::fromLocal8Bit(initial_name.data(), static_cast<qsizetype>(initial_name.size())));
    const bool accepted = chooser.exec() == QDialog::Accepted;
    reactivate_frame();
    if (!accepted || chooser.selectedFiles().isEmpty()) return;
    const QByteArray path =
        QFileInfo(chooser.selectedFiles().first()).absoluteFilePath().toLocal8Bit();
    // The full path, however long: the caller decides what a path too long for its field
    // means and tells the user.
    if (path.isEmpty()) return;
    result = path.toStdString();
  });
  return result;
}

std::string show_save_picture_chooser(std::string_view title, std::string_view initial_name) {
  std::string result;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return result;
  on_gui([&] {
    QFileDialog chooser(frame_state().frame.data(),
                        QString::fromLocal8Bit(title.data(), static_cast<qsizetype>(title.size())));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilters({" PNG Pictures (*.png)"});
    chooser.setDefaultSuffix("png");
    chooser.selectFile(
        QString::fromLocal8Bit(initial_name.data(), static_cast<qsizetype>(initial_name.size())));
    const bool accepted = chooser.exec() == QDialog::Accepted;
    reactivate_frame();
    if (!accepted || chooser.selectedFiles().isEmpty()) return;
    result =
        QFileInfo(chooser.selectedFiles().first()).absoluteFilePath().toLocal8Bit().toStdString();
  });
  return result;
}

namespace {

QString from_local(std::string_view text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string run_chooser(std::string_view title, std::string_view initial_path,
                        const std::vector<std::string>& filters, QFileDialog::AcceptMode mode,
                        std::string_view suffix) {
  std::string result;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return result;
  on_gui([&] {
    QFileDialog chooser(frame_state().frame.data(), from_local(title));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setAcceptMode(mode);
    chooser.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                        : QFileDialog::AnyFile);
    QStringList names;
    for (const std::string& filter : filters) names << QString::fromStdString(filter);
    if (!names.isEmpty()) {
      chooser.setNameFilters(names);
      chooser.selectNameFilter(names.first());
    }
    if (!suffix.empty()) chooser.setDefaultSuffix(from_local(suffix));
    if (!initial_path.empty()) {
      const QFileInfo initial(from_local(initial_path));
      if (initial.isDir()) {
        chooser.setDirectory(initial.absoluteFilePath());
      } else {
        chooser.setDirectory(initial.absolutePath());
        chooser.selectFile(initial.fileName());
      }
    }
    const bool accepted = chooser.exec() == QDialog::Accepted;
    reactivate_frame();
    if (!accepted || chooser.selectedFiles().isEmpty()) return;
    result =
        QFileInfo(chooser.selectedFiles().first()).absoluteFilePath().toLocal8Bit().toStdString();
  });
  return result;
}

}  // namespace

std::string choose_file_to_open(std::string_view title, std::string_view initial_path,
                                const std::vector<std::string>& filters) {
  return run_chooser(title, initial_path, filters, QFileDialog::AcceptOpen, {});
}

std::string choose_file_to_save(std::string_view title, std::string_view initial_path,
                                const std::vector<std::string>& filters, std::string_view suffix) {
  return run_chooser(title, initial_path, filters, QFileDialog::AcceptSave, suffix);
}

}  // namespace kt::display
