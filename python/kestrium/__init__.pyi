# Type stubs of the kestrium package.
from typing import Any, Callable, Mapping, Sequence
from enum import Enum
from os import PathLike

import numpy as np
import pandas
from numpy.typing import ArrayLike, NDArray

__version__: str
__all__: list[str]

_Path = str | PathLike[str]
_Number = float | int

class _Choice(str, Enum):
    @property
    def code(self) -> int: ...

class AblationModel(_Choice):
    surface = 'surface'
    bulk = 'bulk'

class PulseShape(_Choice):
    triangle = 'triangle'
    rectangle = 'rectangle'

class Scheme(str, Enum):
    published = 'published'
    accurate = 'accurate'

class PulsePlanShape(str, Enum):
    file = 'file'
    gaussian = 'gaussian'
    measured = 'measured'

class Material(_Choice):
    polyimide = 'polyimide'
    other = 'other'

class Autoscale(_Choice):
    automatic = 'automatic'
    manual = 'manual'

class KineticsFileMode(_Choice):
    rewrite = 'rewrite'
    addition = 'addition'

class SpatialOutput(_Choice):
    none = 'none'
    temperature = 'temperature'
    fraction = 'fraction'
    both = 'both'

class Parameters:
    """The inputs of a calculation: the Parameter set, every field an attribute."""
    @staticmethod
    def read(path: _Path) -> Parameters: ...
    def write(self, path: _Path) -> None: ...
    def to_dict(self) -> dict[str, float | str]: ...
    def check(self) -> None: ...
    @staticmethod
    def fields() -> dict[str, tuple[str, str]]: ...
    @staticmethod
    def choices() -> dict[str, dict[str, int]]: ...
    def __eq__(self, other: object) -> bool: ...
    # --- the fields: written by scripts/python_stubs.py ---
    def __init__(
        self,
        *,
        ablation_model: AblationModel | str | int = ...,
        pulse_shape: PulseShape | str | int = ...,
        pulse_width: float = ...,
        fluence: float = ...,
        front_fraction: float = ...,
        wavelength: float = ...,
        material: Material | str | int = ...,
        density: float = ...,
        specific_heat: float = ...,
        thermal_conductivity: float = ...,
        absorption_coefficient: float = ...,
        screening_coefficient: float = ...,
        reflection_coefficient: float = ...,
        chromophore_density: float = ...,
        volatile_fraction: float = ...,
        ambient_temperature: float = ...,
        activation_energy_ea: float = ...,
        pre_exponential_vo: float = ...,
        sublimation_enthalpy_dh: float = ...,
        activation_energy_em: float = ...,
        pre_exponential_vom: float = ...,
        sublimation_enthalpy_dhm: float = ...,
        activation_energy_eb: float = ...,
        pre_exponential_ko: float = ...,
        sublimation_enthalpy_dhb: float = ...,
        show_surface_temperature: float = ...,
        show_ablation_velocity: float = ...,
        show_ablated_depth: float = ...,
        show_broken_fraction: float = ...,
        show_temperature_profile: float = ...,
        show_fraction_profile: float = ...,
        temperature_scale: float = ...,
        velocity_scale: float = ...,
        depth_scale: float = ...,
        time_scale: float = ...,
        z_scale: float = ...,
        autoscale: Autoscale | str | int = ...,
        output_surface_temperature: float = ...,
        output_ablation_velocity: float = ...,
        output_ablated_depth: float = ...,
        output_broken_fraction: float = ...,
        output_interval: float = ...,
        kinetics_file_mode: KineticsFileMode | str | int = ...,
        spatial_output: SpatialOutput | str | int = ...,
        spatial_time_1: float = ...,
        spatial_time_2: float = ...,
        spatial_time_3: float = ...,
        spatial_time_4: float = ...,
        spatial_time_5: float = ...,
        spatial_time_6: float = ...,
        spatial_time_7: float = ...,
        spatial_time_8: float = ...,
        spatial_time_9: float = ...,
        spatial_time_10: float = ...,
        data_file_name: str = ...,
    ) -> None: ...
    def copy(
        self,
        *,
        ablation_model: AblationModel | str | int = ...,
        pulse_shape: PulseShape | str | int = ...,
        pulse_width: float = ...,
        fluence: float = ...,
        front_fraction: float = ...,
        wavelength: float = ...,
        material: Material | str | int = ...,
        density: float = ...,
        specific_heat: float = ...,
        thermal_conductivity: float = ...,
        absorption_coefficient: float = ...,
        screening_coefficient: float = ...,
        reflection_coefficient: float = ...,
        chromophore_density: float = ...,
        volatile_fraction: float = ...,
        ambient_temperature: float = ...,
        activation_energy_ea: float = ...,
        pre_exponential_vo: float = ...,
        sublimation_enthalpy_dh: float = ...,
        activation_energy_em: float = ...,
        pre_exponential_vom: float = ...,
        sublimation_enthalpy_dhm: float = ...,
        activation_energy_eb: float = ...,
        pre_exponential_ko: float = ...,
        sublimation_enthalpy_dhb: float = ...,
        show_surface_temperature: float = ...,
        show_ablation_velocity: float = ...,
        show_ablated_depth: float = ...,
        show_broken_fraction: float = ...,
        show_temperature_profile: float = ...,
        show_fraction_profile: float = ...,
        temperature_scale: float = ...,
        velocity_scale: float = ...,
        depth_scale: float = ...,
        time_scale: float = ...,
        z_scale: float = ...,
        autoscale: Autoscale | str | int = ...,
        output_surface_temperature: float = ...,
        output_ablation_velocity: float = ...,
        output_ablated_depth: float = ...,
        output_broken_fraction: float = ...,
        output_interval: float = ...,
        kinetics_file_mode: KineticsFileMode | str | int = ...,
        spatial_output: SpatialOutput | str | int = ...,
        spatial_time_1: float = ...,
        spatial_time_2: float = ...,
        spatial_time_3: float = ...,
        spatial_time_4: float = ...,
        spatial_time_5: float = ...,
        spatial_time_6: float = ...,
        spatial_time_7: float = ...,
        spatial_time_8: float = ...,
        spatial_time_9: float = ...,
        spatial_time_10: float = ...,
        data_file_name: str = ...,
    ) -> Parameters: ...
    @property
    def ablation_model(self) -> AblationModel | int:
        """Ablation model (1 surface, 2 bulk)"""
    @ablation_model.setter
    def ablation_model(self, value: AblationModel | str | int) -> None: ...
    @property
    def pulse_shape(self) -> PulseShape | int:
        """Pulse shape (1 triangle, 2 rectangle)"""
    @pulse_shape.setter
    def pulse_shape(self, value: PulseShape | str | int) -> None: ...
    @property
    def pulse_width(self) -> float:
        """Pulsewidth [ns]; greater than 0"""
    @pulse_width.setter
    def pulse_width(self, value: float) -> None: ...
    @property
    def fluence(self) -> float:
        """Fluence [mJ/cm^2]; greater than 0"""
    @fluence.setter
    def fluence(self, value: float) -> None: ...
    @property
    def front_fraction(self) -> float:
        """Front duration of laser pulse in percent of pulsewidth; from 0 to 100"""
    @front_fraction.setter
    def front_fraction(self, value: float) -> None: ...
    @property
    def wavelength(self) -> float:
        """Wavelength [nm]"""
    @wavelength.setter
    def wavelength(self, value: float) -> None: ...
    @property
    def material(self) -> Material | int:
        """Material (1 polyimide, 2 other)"""
    @material.setter
    def material(self, value: Material | str | int) -> None: ...
    @property
    def density(self) -> float:
        """Density [g/cm^3]; greater than 0"""
    @density.setter
    def density(self, value: float) -> None: ...
    @property
    def specific_heat(self) -> float:
        """Specific heat [J/(g*K)]; greater than 0"""
    @specific_heat.setter
    def specific_heat(self, value: float) -> None: ...
    @property
    def thermal_conductivity(self) -> float:
        """Thermal conductivity [W/(cm*K)]; greater than 0"""
    @thermal_conductivity.setter
    def thermal_conductivity(self, value: float) -> None: ...
    @property
    def absorption_coefficient(self) -> float:
        """Absorption coefficient [cm^-1]; greater than 0"""
    @absorption_coefficient.setter
    def absorption_coefficient(self, value: float) -> None: ...
    @property
    def screening_coefficient(self) -> float:
        """Screening coefficient [cm^-1]; 0 or more"""
    @screening_coefficient.setter
    def screening_coefficient(self, value: float) -> None: ...
    @property
    def reflection_coefficient(self) -> float:
        """Reflection coefficient; from 0 up to (not including) 1"""
    @reflection_coefficient.setter
    def reflection_coefficient(self, value: float) -> None: ...
    @property
    def chromophore_density(self) -> float:
        """Number density of chromophores [cm^-3]"""
    @chromophore_density.setter
    def chromophore_density(self, value: float) -> None: ...
    @property
    def volatile_fraction(self) -> float:
        """Fraction of volatile species; from 0 to 1"""
    @volatile_fraction.setter
    def volatile_fraction(self, value: float) -> None: ...
    @property
    def ambient_temperature(self) -> float:
        """Ambient temperature [K]; greater than 0"""
    @ambient_temperature.setter
    def ambient_temperature(self, value: float) -> None: ...
    @property
    def activation_energy_ea(self) -> float:
        """Activation energy (surface) Ea [eV]; 0 or more"""
    @activation_energy_ea.setter
    def activation_energy_ea(self, value: float) -> None: ...
    @property
    def pre_exponential_vo(self) -> float:
        """Surface pre-exponential Vo [cm/s]; 0 or more"""
    @pre_exponential_vo.setter
    def pre_exponential_vo(self, value: float) -> None: ...
    @property
    def sublimation_enthalpy_dh(self) -> float:
        """Surface Sublimation Enthalpy DH [J/g]; 0 or more"""
    @sublimation_enthalpy_dh.setter
    def sublimation_enthalpy_dh(self, value: float) -> None: ...
    @property
    def activation_energy_em(self) -> float:
        """Activation energy (surface) Em [eV]; 0 or more"""
    @activation_energy_em.setter
    def activation_energy_em(self, value: float) -> None: ...
    @property
    def pre_exponential_vom(self) -> float:
        """Surface pre-exponential Vom [cm/s]; 0 or more"""
    @pre_exponential_vom.setter
    def pre_exponential_vom(self, value: float) -> None: ...
    @property
    def sublimation_enthalpy_dhm(self) -> float:
        """Surface Sublimation Enthalpy DHm [J/g]; 0 or more"""
    @sublimation_enthalpy_dhm.setter
    def sublimation_enthalpy_dhm(self, value: float) -> None: ...
    @property
    def activation_energy_eb(self) -> float:
        """Volumetric Activation Energy Eb [eV]; 0 or more"""
    @activation_energy_eb.setter
    def activation_energy_eb(self, value: float) -> None: ...
    @property
    def pre_exponential_ko(self) -> float:
        """Volume pre-exponential ko [s^-1]; 0 or more"""
    @pre_exponential_ko.setter
    def pre_exponential_ko(self, value: float) -> None: ...
    @property
    def sublimation_enthalpy_dhb(self) -> float:
        """Volumetric Sublim. Enthalpy DHb [J/cm^3]; 0 or more"""
    @sublimation_enthalpy_dhb.setter
    def sublimation_enthalpy_dhb(self, value: float) -> None: ...
    @property
    def show_surface_temperature(self) -> float:
        """Graph: surface temperature"""
    @show_surface_temperature.setter
    def show_surface_temperature(self, value: float) -> None: ...
    @property
    def show_ablation_velocity(self) -> float:
        """Graph: ablation velocity"""
    @show_ablation_velocity.setter
    def show_ablation_velocity(self, value: float) -> None: ...
    @property
    def show_ablated_depth(self) -> float:
        """Graph: ablated depth"""
    @show_ablated_depth.setter
    def show_ablated_depth(self, value: float) -> None: ...
    @property
    def show_broken_fraction(self) -> float:
        """Graph: broken fraction"""
    @show_broken_fraction.setter
    def show_broken_fraction(self, value: float) -> None: ...
    @property
    def show_temperature_profile(self) -> float:
        """Graph: temperature profile"""
    @show_temperature_profile.setter
    def show_temperature_profile(self, value: float) -> None: ...
    @property
    def show_fraction_profile(self) -> float:
        """Graph: fraction profile"""
    @show_fraction_profile.setter
    def show_fraction_profile(self, value: float) -> None: ...
    @property
    def temperature_scale(self) -> float:
        """Temperature scale [K]"""
    @temperature_scale.setter
    def temperature_scale(self, value: float) -> None: ...
    @property
    def velocity_scale(self) -> float:
        """Velocity scale [cm/s]"""
    @velocity_scale.setter
    def velocity_scale(self, value: float) -> None: ...
    @property
    def depth_scale(self) -> float:
        """Ablated depth scale [1/alpha]"""
    @depth_scale.setter
    def depth_scale(self, value: float) -> None: ...
    @property
    def time_scale(self) -> float:
        """Time scale [ns]"""
    @time_scale.setter
    def time_scale(self, value: float) -> None: ...
    @property
    def z_scale(self) -> float:
        """Depth scale [1/alpha]"""
    @z_scale.setter
    def z_scale(self, value: float) -> None: ...
    @property
    def autoscale(self) -> Autoscale | int:
        """Scales (1 auto, 2 manual)"""
    @autoscale.setter
    def autoscale(self, value: Autoscale | str | int) -> None: ...
    @property
    def output_surface_temperature(self) -> float:
        """Output: surface temperature"""
    @output_surface_temperature.setter
    def output_surface_temperature(self, value: float) -> None: ...
    @property
    def output_ablation_velocity(self) -> float:
        """Output: ablation velocity"""
    @output_ablation_velocity.setter
    def output_ablation_velocity(self, value: float) -> None: ...
    @property
    def output_ablated_depth(self) -> float:
        """Output: ablated depth"""
    @output_ablated_depth.setter
    def output_ablated_depth(self, value: float) -> None: ...
    @property
    def output_broken_fraction(self) -> float:
        """Output: broken fraction"""
    @output_broken_fraction.setter
    def output_broken_fraction(self, value: float) -> None: ...
    @property
    def output_interval(self) -> float:
        """Temporal output interval"""
    @output_interval.setter
    def output_interval(self, value: float) -> None: ...
    @property
    def kinetics_file_mode(self) -> KineticsFileMode | int:
        """Kinetics file (1 addition, 0 rewrite)"""
    @kinetics_file_mode.setter
    def kinetics_file_mode(self, value: KineticsFileMode | str | int) -> None: ...
    @property
    def spatial_output(self) -> SpatialOutput | int:
        """Spatial output (0 none, 1 T, 2 fraction, 3 both)"""
    @spatial_output.setter
    def spatial_output(self, value: SpatialOutput | str | int) -> None: ...
    @property
    def spatial_time_1(self) -> float:
        """Spatial output time 1 [ns]"""
    @spatial_time_1.setter
    def spatial_time_1(self, value: float) -> None: ...
    @property
    def spatial_time_2(self) -> float:
        """Spatial output time 2 [ns]"""
    @spatial_time_2.setter
    def spatial_time_2(self, value: float) -> None: ...
    @property
    def spatial_time_3(self) -> float:
        """Spatial output time 3 [ns]"""
    @spatial_time_3.setter
    def spatial_time_3(self, value: float) -> None: ...
    @property
    def spatial_time_4(self) -> float:
        """Spatial output time 4 [ns]"""
    @spatial_time_4.setter
    def spatial_time_4(self, value: float) -> None: ...
    @property
    def spatial_time_5(self) -> float:
        """Spatial output time 5 [ns]"""
    @spatial_time_5.setter
    def spatial_time_5(self, value: float) -> None: ...
    @property
    def spatial_time_6(self) -> float:
        """Spatial output time 6 [ns]"""
    @spatial_time_6.setter
    def spatial_time_6(self, value: float) -> None: ...
    @property
    def spatial_time_7(self) -> float:
        """Spatial output time 7 [ns]"""
    @spatial_time_7.setter
    def spatial_time_7(self, value: float) -> None: ...
    @property
    def spatial_time_8(self) -> float:
        """Spatial output time 8 [ns]"""
    @spatial_time_8.setter
    def spatial_time_8(self, value: float) -> None: ...
    @property
    def spatial_time_9(self) -> float:
        """Spatial output time 9 [ns]"""
    @spatial_time_9.setter
    def spatial_time_9(self, value: float) -> None: ...
    @property
    def spatial_time_10(self) -> float:
        """Spatial output time 10 [ns]"""
    @spatial_time_10.setter
    def spatial_time_10(self, value: float) -> None: ...
    @property
    def data_file_name(self) -> str:
        """The data file name: its first seven characters name the result files."""
    @data_file_name.setter
    def data_file_name(self, value: str) -> None: ...
    # --- end of the fields ---

class Profile:
    number: int
    step: int
    time_ns: float
    depth_nm: NDArray[np.float64]
    temperature_K: NDArray[np.float64]
    fraction: NDArray[np.float64]

class RunResult:
    time_ns: NDArray[np.float64]
    surface_temperature_K: NDArray[np.float64]
    velocity_cm_per_s: NDArray[np.float64]
    depth_nm: NDArray[np.float64]
    surface_fraction: NDArray[np.float64]
    step: NDArray[np.int32]
    profiles: list[Profile]
    surface_recession_nm: float
    volume_depth_nm: float
    total_depth_nm: float
    fluence_used: float
    peak_surface_temperature_K: float
    peak_front_velocity_cm_per_s: float
    steps: int
    end: str
    kinetics_line: str
    message: str
    energy: dict[str, float]
    pulses: dict[str, NDArray[Any]]
    parameters: Parameters
    def to_dataframe(self) -> pandas.DataFrame: ...
    def pulses_to_dataframe(self) -> pandas.DataFrame: ...
    total_depth_error_nm: float
    peak_surface_temperature_error_K: float
    grid_depth_nm: float
    grid_depth_factor: float
    tolerance_note: str
    split_steps: int

class RefusalError(ValueError):
    problem: str
    setting: str
    remedy: str
    def __init__(self, problem: str, setting: str = ..., remedy: str = ...) -> None: ...

class Experiment:
    def __init__(self, *, scheme: str | None = ..., pulse_shape: str = ...,
                 trace: _Path | None = ..., pulses: int = ..., rate_hz: float = ...,
                 incubated_absorption: float | None = ..., material: _Path | None = ...) -> None: ...
    @staticmethod
    def read(path: _Path) -> Experiment: ...
    @property
    def scheme(self) -> str | None: ...
    @property
    def pulse_shape(self) -> str: ...
    @property
    def trace(self) -> str | None: ...
    @property
    def pulses(self) -> int: ...
    @property
    def rate_hz(self) -> float: ...
    @property
    def incubated_absorption(self) -> float | None: ...
    @property
    def material(self) -> str | None: ...
    @property
    def text(self) -> str: ...

class FitReport(dict[str, Any]):
    status: str
    message: str
    names: list[str]
    values: NDArray[Any]  # type: ignore[assignment]
    errors: NDArray[Any]
    lower: NDArray[Any]
    upper: NDArray[Any]
    correlation: NDArray[Any]
    chi2: float
    dof: int
    reduced_chi2: float
    weighted: bool
    fluence: NDArray[Any]
    measured: NDArray[Any]
    sigma: NDArray[Any]
    model_depth: NDArray[Any]
    residual: NDArray[Any]
    bias: NDArray[Any]
    largest_bias: float
    scheme: str
    tolerance: float
    model: str
    quantity: str
    evaluations: int
    runs: int
    wall_seconds: float
    datasets: list[str]
    notes: list[str]
    fitted: Parameters
    def to_dict(self) -> dict[str, Any]: ...

class BeerLambertReport(dict[str, Any]):
    datasets: list[str]
    threshold_fluence: NDArray[Any]
    threshold_stderr: NDArray[Any]
    absorption_length_nm: NDArray[Any]
    absorption_length_stderr: NDArray[Any]
    chi2: NDArray[Any]
    points_used: NDArray[Any]
    fluence: NDArray[Any]
    measured: NDArray[Any]
    notes: list[str]
    def to_dict(self) -> dict[str, Any]: ...

class ThresholdReport(dict[str, Any]):
    fluence: float
    below: float
    above: float
    depth_below_nm: float
    depth_above_nm: float
    depth_nm: float
    quantity: str
    pulses: int
    runs: int
    wall_seconds: float
    summary: str
    model: str
    scheme: str
    tolerance: float
    def to_dict(self) -> dict[str, Any]: ...

class IncubationReport(dict[str, Any]):
    pulses: NDArray[Any]
    fluence: NDArray[Any]
    below: NDArray[Any]
    above: NDArray[Any]
    s: float
    s_stderr: float
    single_pulse_threshold: float
    single_pulse_stderr: float
    chi2: float
    dof: int
    depth_nm: float
    quantity: str
    summary: str
    scheme: str
    tolerance: float
    def to_dict(self) -> dict[str, Any]: ...

class DiameterFit(dict[str, Any]):
    threshold_fluence: float
    threshold_stderr: float
    threshold_energy_uj: float
    radius_um: float
    radius_stderr: float
    s: float | None
    s_stderr: float | None
    points: int
    rms_residual_um2: float
    def to_dict(self) -> dict[str, Any]: ...

class IncubationFit(dict[str, Any]):
    s: float
    s_stderr: float
    single_pulse_threshold: float
    single_pulse_stderr: float
    chi2: float
    dof: int
    weighted: bool
    def to_dict(self) -> dict[str, Any]: ...

class StudyTable(dict[str, NDArray[Any]]):
    table_text: str
    hash: str
    def to_csv(self, path: _Path) -> None: ...
    def to_dataframe(self) -> pandas.DataFrame: ...

def run(parameters: Parameters, profiles: bool = ..., output_dir: _Path | None = ...,
        refinement: int = ..., scheme: str | None = ..., grid_refinement: int = ..., *,
        experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
        trace: _Path | None = ..., pulses: int | None = ..., rate_hz: float | None = ...,
        incubated_absorption: float | None = ..., material: _Path | None = ...,
        tolerance: float | None = ...) -> RunResult: ...
def sweep(parameters: Parameters, fluences: str | ArrayLike, jobs: int | None = ...,
          log: int = ..., refinement: int = ..., output_dir: _Path | None = ...,
          keep_files: _Path | None = ..., csv: _Path | None = ...,
          progress: Callable[[int, int], object] | bool | None = ...,
          scheme: str | None = ..., *, experiment: Experiment | _Path | None = ...,
          pulse_shape: str | None = ..., trace: _Path | None = ..., pulses: int | None = ...,
          rate_hz: float | None = ..., incubated_absorption: float | None = ...,
          material: _Path | None = ...,
          tolerance: float | None = ...) -> dict[str, NDArray[Any]]: ...
def crater(parameters: Parameters, spot_radius_um: float, beam: str = ..., depth: float = ...,
           jobs: int | None = ..., refinement: int = ..., scheme: str | None = ..., *,
           experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
           trace: _Path | None = ..., pulses: int | None = ..., rate_hz: float | None = ...,
           incubated_absorption: float | None = ...,
           material: _Path | None = ...) -> dict[str, Any]: ...
def fit(parameters: Parameters, data: _Path | Mapping[str, ArrayLike] | Any | None = ...,
        vary: str | Sequence[str] = ..., *, vary_each: str | Sequence[str] = ...,
        separately: bool = ..., fluence: ArrayLike | None = ..., depth: ArrayLike | None = ...,
        sigma: ArrayLike | None = ..., quantity: str | None = ...,
        bounds: Mapping[str, tuple[_Number, _Number]] | None = ..., jobs: int | None = ...,
        max_runs: int = ..., method: str = ..., analyse: bool = ..., min_depth: float = ...,
        progress: Callable[[int, int, float], object] | None = ...,
        scheme: str | None = ..., experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
        trace: _Path | None = ..., pulses: int | None = ..., rate_hz: float | None = ...,
        incubated_absorption: float | None = ..., material: _Path | None = ...,
        tolerance: float | None = ...) -> FitReport | BeerLambertReport: ...
def threshold(parameters: Parameters, depth: float = ..., quantity: str = ...,
              jobs: int | None = ..., scheme: str | None = ..., *,
              experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
              trace: _Path | None = ..., pulses: int | Sequence[int] | None = ...,
              rate_hz: float | None = ...,
              incubated_absorption: float | None = ..., material: _Path | None = ...,
        tolerance: float | None = ...) -> ThresholdReport | IncubationReport: ...
def study(parameters: Parameters, vary: Mapping[str, str | Sequence[_Number]] | None = ...,
          client: Any = ..., jobs: int | None = ..., refinement: int = ...,
          chunk_size: int | None = ..., progress: Callable[[int, int], object] | bool | None = ...,
          *, points: Sequence[Mapping[str, _Number]] | Mapping[str, Sequence[_Number]] | None = ...,
          timeout: float | None = ..., scheme: str | None = ...,
          energy: bool = ..., experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
        trace: _Path | None = ..., pulses: int | None = ..., rate_hz: float | None = ...,
        incubated_absorption: float | None = ..., material: _Path | None = ...) -> StudyTable: ...
