#include "tests/dialogs/dialog_driver.h"

#include <QDialog>

#include "app/dialog_templates.h"
#include "app/experiment_dialog.h"
#include "display/qt_access.h"

namespace kt::test {

// The display layer makes one child widget per template control, in template order.
QWidget* find_control(QWidget* dialog, int id) {
  const QString title = dialog->windowTitle();
  const display::DialogTemplate* form = title == "Parameters:"   ? &parameters_template()
                                        : title == "Experiment:" ? &experiment_template()
                                                                 : &output_data_template();
  const QWidget* canvas = dialog->findChild<QWidget*>(display::kDialogCanvasName);
  if (canvas == nullptr) {
    ADD_FAILURE() << "the dialog has no controls";
    return nullptr;
  }
  const QList<QWidget*> children = canvas->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
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
