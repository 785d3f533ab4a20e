// The templates of the two parameter dialogs, "Parameters:" and "Output Data:", and the ids of
// their controls: one name per control, used by the templates and by the dialogs' code. Each
// label of a field is numbered one below the field.
#pragma once

#include <cstdint>

#include "display/dialog_template.h"

namespace kt {

// The controls of "Parameters:".
enum ParametersControl : std::int32_t {
  kModelGroup = 1000,
  kSurfaceModelButton = 1001,
  kBulkModelButton = 1002,
  kPulseGroup = 1003,
  kTrianglePulseButton = 1004,
  kRectanglePulseButton = 1005,
  kPulseWidthLabel = 1006,
  kPulseWidthField = 1007,
  kFluenceLabel = 1008,
  kFluenceField = 1009,
  kFrontFractionLabel = 1010,
  kFrontFractionField = 1011,
  kWavelengthLabel = 1012,
  kWavelengthField = 1013,
  kMaterialGroup = 1015,
  kPolyimideButton = 1016,
  kOtherMaterialButton = 1017,
  kDensityLabel = 1018,
  kDensityField = 1019,
  kSpecificHeatLabel = 1020,
  kSpecificHeatField = 1021,
  kThermalConductivityLabel = 1022,
  kThermalConductivityField = 1023,
  kAbsorptionCoefficientLabel = 1024,
  kAbsorptionCoefficientField = 1025,
  kScreeningCoefficientLabel = 1026,
  kScreeningCoefficientField = 1027,
  kReflectionCoefficientLabel = 1028,
  kReflectionCoefficientField = 1029,
  kChromophoreDensityLabel = 1030,
  kChromophoreDensityField = 1031,
  kVolatileFractionLabel = 1032,
  kVolatileFractionField = 1033,
  kAmbientTemperatureLabel = 1034,
  kAmbientTemperatureField = 1035,
  kActivationEnergyEaLabel = 1036,
  kActivationEnergyEaField = 1037,
  kPreExponentialVoLabel = 1038,
  kPreExponentialVoField = 1039,
  kSublimationEnthalpyDhLabel = 1040,
  kSublimationEnthalpyDhField = 1041,
  kActivationEnergyEmLabel = 1042,
  kActivationEnergyEmField = 1043,
  kPreExponentialVomLabel = 1044,
  kPreExponentialVomField = 1045,
  kSublimationEnthalpyDhmLabel = 1046,
  kSublimationEnthalpyDhmField = 1047,
  kActivationEnergyEbLabel = 1048,
  kActivationEnergyEbField = 1049,
  kPreExponentialKoLabel = 1050,
  kPreExponentialKoField = 1051,
  kSublimationEnthalpyDhbLabel = 1052,
  kSublimationEnthalpyDhbField = 1053,
};

// The controls of "Output Data:".
enum OutputDataControl : std::int32_t {
  kDataFileNameLabel = 2000,
  kDataFileNameField = 2001,
  kOutputIntervalLabel = 2002,
  kOutputIntervalField = 2003,
  kKineticsFileGroup = 2004,
  kKineticsAppendButton = 2005,
  kKineticsRewriteButton = 2006,
  kSpatialPointsGroup = 2007,
  kPoint1Label = 2008,
  kPoint1Field = 2009,
  kPoint2Label = 2010,
  kPoint2Field = 2011,
  kPoint3Label = 2012,
  kPoint3Field = 2013,
  kPoint4Label = 2014,
  kPoint4Field = 2015,
  kPoint5Label = 2016,
  kPoint5Field = 2017,
  kPoint6Label = 2018,
  kPoint6Field = 2019,
  kPoint7Label = 2020,
  kPoint7Field = 2021,
  kPoint8Label = 2022,
  kPoint8Field = 2023,
  kPoint9Label = 2024,
  kPoint9Field = 2025,
  kPoint10Label = 2026,
  kPoint10Field = 2027,
  kScalesGroup = 2028,
  kTemperatureScaleLabel = 2029,
  kTemperatureScaleField = 2030,
  kVelocityScaleLabel = 2031,
  kVelocityScaleField = 2032,
  kDepthScaleLabel = 2033,
  kDepthScaleField = 2034,
  kAutoScaleButton = 2035,
  kManualScaleButton = 2036,
};

// OK and Cancel of both dialogs: display::kDialogOk and display::kDialogCancel.

const display::DialogTemplate& parameters_template();
const display::DialogTemplate& output_data_template();

}  // namespace kt
