#include "engine/material_setup.h"

#include <utility>

namespace kt {

std::shared_ptr<const MaterialFile> load_material_file(const std::filesystem::path& path,
                                                       std::string& error) {
  std::optional<MaterialFile> material = read_material_file(path, error);
  if (!material) return nullptr;
  return std::make_shared<const MaterialFile>(std::move(*material));
}

std::string use_material(const std::shared_ptr<const MaterialFile>& material,
                         ParameterSet& parameters, RunOptions& options) {
  if (!material) return "no material file was given";
  ParameterSet updated = parameters;
  if (std::string refusal = apply_material(*material, updated); !refusal.empty()) return refusal;
  // The ambient temperature inside every table, both laws positive there: checked here, before
  // any run (a run checks it again, for studies that vary the ambient temperature).
  if (std::string refusal =
          material_ambient_refusal(*material, static_cast<double>(updated.ambient_temperature));
      !refusal.empty()) {
    return refusal;
  }
  parameters = updated;
  options.material = material;
  return {};
}

std::string setup_material(const std::filesystem::path& path, ParameterSet& parameters,
                           RunOptions& options) {
  std::string error;
  const std::shared_ptr<const MaterialFile> material = load_material_file(path, error);
  if (!material) return error;
  return use_material(material, parameters, options);
}

std::string setup_material(const std::filesystem::path& path, ParameterSet& parameters,
                           std::shared_ptr<const MaterialFile>& material) {
  RunOptions options;
  if (std::string refusal = setup_material(path, parameters, options); !refusal.empty()) {
    return refusal;
  }
  material = options.material;
  return {};
}

}  // namespace kt
