// Drives a modal dialog of the display layer through its real widgets, as a user would.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>

namespace kt::test {

// The widget of control `id` in a dialog, or null.
QWidget* find_control(QWidget* dialog, int id);

// Runs `act` once a modal widget is active (polled from the event loop that the modal dialog
// runs). Call it before the call that shows the dialog; delete the returned timer when no
// dialog came.
inline QTimer* when_modal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;
    timer->stop();
    timer->deleteLater();
    act(dialog);
  });
  timer->start();
  return timer;
}

inline QLineEdit* edit(QWidget* dialog, int id) {
  if (auto* field = qobject_cast<QLineEdit*>(find_control(dialog, id))) return field;
  ADD_FAILURE() << "no edit field " << id;
  static auto* unused = new QLineEdit();
  return unused;
}

inline void click(QWidget* dialog, int id) {
  auto* button = qobject_cast<QAbstractButton*>(find_control(dialog, id));
  if (button == nullptr) {
    ADD_FAILURE() << "no button " << id;
    return;
  }
  // Near the left end, on the radio indicator or the button's text: a radio button takes a click
  // only there.
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier,
                    QPoint(std::min(8, button->width() / 2), button->height() / 2));
}

// Presses OK (1) or Cancel (2).
inline void press(QWidget* dialog, int id) {
  click(dialog, id);
}

// Deletes the whole text at once, as selecting it and pressing Backspace does.
inline void clear(QLineEdit* field) {
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
}

// Presses Backspace `count` times at the end of the text, one change at a time.
inline void backspaces(QLineEdit* field, int count) {
  field->setFocus();
  field->end(false);
  for (int i = 0; i < count; ++i) QTest::keyClick(field, Qt::Key_Backspace);
}

inline void replace(QLineEdit* field, const char* text) {
  clear(field);
  QTest::keyClicks(field, text);
}

}  // namespace kt::test
