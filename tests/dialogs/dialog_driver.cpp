#include "tests/dialogs/dialog_driver.h"

#include <QVariant>

namespace kt::test {

QWidget* find_control(QWidget* dialog, int id) {
  const QString name = QString::number(id);
  for (QWidget* child : dialog->findChildren<QWidget*>()) {
    if (child->objectName() == name) return child;
    const QVariant property = child->property("control_id");
    if (property.isValid() && property.toInt() == id) return child;
  }
  return nullptr;
}

}  // namespace kt::test
