// Menu bar: items appended by bar position, commands turned into popups, mnemonics and state
// flags. Callbacks run on the GUI thread.
#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "display/context.h"
#include "display/frame.h"

namespace kt::display {
namespace {

QString item_text(std::string_view text) {
  QString label = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  if (!label.contains('&')) label.prepend('&');
  return label;
}

// A checkable item on the bar itself, where no check mark is drawn: its text begins with a box,
// ticked while the item is checked.
void show_state_in_text(QAction* action, const QString& label) {
  const auto update = [action, label](bool checked) {
    action->setText(QString(checked ? QChar(0x2611) : QChar(0x2610)) + ' ' + label);
  };
  update(action->isChecked());
  QObject::connect(action, &QAction::toggled, action, update);
}

QAction* make_action(QObject* parent, const QString& label, std::int32_t flags,
                     MenuCallback callback, std::string_view shortcut) {
  auto* action = new QAction(label, parent);
  if (!shortcut.empty()) {
    action->setShortcut(QKeySequence(
        QString::fromLatin1(shortcut.data(), static_cast<qsizetype>(shortcut.size()))));
    action->setShortcutContext(Qt::WindowShortcut);
    QString tip = label;
    tip.remove('&');
    action->setToolTip(tip + " (" + action->shortcut().toString(QKeySequence::NativeText) + ")");
  }
  action->setEnabled((flags & kMenuEnabled) != 0);
  action->setCheckable((flags & kMenuCheckable) != 0);
  if (callback) {
    QObject::connect(
        action, &QAction::triggered, action,
        [action, callback = std::move(callback)](bool) { callback(action->isChecked() ? 1 : 0); });
  }
  return action;
}

}  // namespace

bool append_menu_item(std::int32_t bar_position, std::int32_t state_flags, std::string_view text,
                      MenuCallback callback, std::string_view shortcut) {
  bool added = false;
  if (!context().frame_exists) return false;
  run_on_gui_thread([&] {
    FrameState& state = frame_state();
    FrameWindow* frame = state.frame;
    if (frame == nullptr) return;
    QMenuBar* bar = frame->menuBar();
    const auto count = static_cast<std::int32_t>(state.bar.size());
    if (bar_position < 1 || bar_position > count + 1) return;
    const QString label = item_text(text);
    if (bar_position == count + 1) {
      QAction* action = make_action(bar, label, state_flags, std::move(callback), shortcut);
      if (action->isCheckable()) show_state_in_text(action, label);
      bar->addAction(action);
      state.bar.push_back({label, action, nullptr});
    } else {
      BarItem& item = state.bar[static_cast<std::size_t>(bar_position - 1)];
      if (item.popup == nullptr) {
        // The command becomes a popup of the same text at the same place; its callback goes.
        auto* popup = new QMenu(item.text, bar);
        bar->insertMenu(item.action, popup);
        bar->removeAction(item.action);
        delete item.action;
        item.popup = popup;
        item.action = popup->menuAction();
      }
      item.popup->addAction(
          make_action(item.popup, label, state_flags, std::move(callback), shortcut));
    }
    bar->update();
    added = true;
  });
  return added;
}

namespace {
// The action of bar item `bar_position` (item 0) or of entry `item` of its popup.
QAction* find_menu_action(std::int32_t bar_position, std::int32_t item) {
  FrameState& state = frame_state();
  if (state.frame == nullptr || bar_position < 1 ||
      bar_position > static_cast<std::int32_t>(state.bar.size()) || item < 0) {
    return nullptr;
  }
  const BarItem& bar_item = state.bar[static_cast<std::size_t>(bar_position - 1)];
  if (item == 0) return bar_item.action;
  if (bar_item.popup == nullptr) return nullptr;
  const QList<QAction*> entries = bar_item.popup->actions();
  return item <= entries.size() ? entries[item - 1] : nullptr;
}
}  // namespace

bool set_menu_item_enabled(std::int32_t bar_position, std::int32_t item, bool enabled) {
  bool done = false;
  if (!context().frame_exists) return false;
  run_on_gui_thread([&] {
    if (QAction* action = find_menu_action(bar_position, item)) {
      action->setEnabled(enabled);
      done = true;
    }
  });
  return done;
}

bool set_menu_item_checked(std::int32_t bar_position, std::int32_t item, bool checked) {
  bool done = false;
  if (!context().frame_exists) return false;
  run_on_gui_thread([&] {
    QAction* action = find_menu_action(bar_position, item);
    if (action == nullptr || !action->isCheckable()) return;
    action->setChecked(checked);  // toggled, not triggered: the callback does not run
    done = true;
  });
  return done;
}

bool menu_item_checked(std::int32_t bar_position, std::int32_t item) {
  bool checked = false;
  if (!context().frame_exists) return false;
  run_on_gui_thread([&] {
    if (QAction* action = find_menu_action(bar_position, item))
      checked = action->isCheckable() && action->isChecked();
  });
  return checked;
}

bool menu_item_enabled(std::int32_t bar_position, std::int32_t item) {
  bool enabled = false;
  if (!context().frame_exists) return false;
  run_on_gui_thread([&] {
    if (QAction* action = find_menu_action(bar_position, item)) enabled = action->isEnabled();
  });
  return enabled;
}

void post_to_frame(std::function<void()> work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!context().frame_exists || !work || app == nullptr) return;
  // The frame belongs to the GUI thread: whether it still exists is asked there.
  QMetaObject::invokeMethod(
      app,
      [work = std::move(work)] {
        if (frame_state().frame != nullptr) work();
      },
      Qt::QueuedConnection);
}

bool add_key_command(std::string_view shortcut, MenuCallback callback) {
  bool added = false;
  if (!context().frame_exists || shortcut.empty()) return false;
  run_on_gui_thread([&] {
    FrameWindow* frame = frame_state().frame;
    if (frame == nullptr) return;
    auto* action = new QAction(frame);
    action->setShortcut(QKeySequence(
        QString::fromLatin1(shortcut.data(), static_cast<qsizetype>(shortcut.size()))));
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, action, [callback = std::move(callback)](bool) {
      if (callback) callback(0);
    });
    frame->addAction(action);
    added = true;
  });
  return added;
}

}  // namespace kt::display
