#include "tests/dialogs/dialog_driver.h"

#include <QDialog>

#include "display/dialog_templates.h"

namespace kt::test {

// The display layer makes one child widget per template control, in template order.
QWidget* find_control(QWidget* dialog, int id) {
  const int template_id = dialog->windowTitle() == "Parameters:" ? 10 : 101;
  const display::DialogTemplate* form = display::find_dialog_template(template_id);
  if (form == nullptr) return nullptr;
  const QList<QWidget*> children = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  if (children.size() != static_cast<qsizetype>(form->controls.size())) {
    ADD_FAILURE() << "the dialog has " << children.size() << " widgets for "
                  << form->controls.size() << " controls";
    return nullptr;
  }
  for (std::size_t i = 0; i < form->controls.size(); ++i) {
    if (form->controls[i].id == id) return children[static_cast<qsizetype>(i)];
  }
  return nullptr;
}

}  // namespace kt::test
