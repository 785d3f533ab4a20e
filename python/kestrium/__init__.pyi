# Type stubs of the kestrium package.
from typing import Any, Callable, Mapping, Sequence
from enum import Enum
from os import PathLike

import numpy as np
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
    def __init__(self, **fields: Any) -> None: ...
    @staticmethod
    def read(path: _Path) -> Parameters: ...
    def write(self, path: _Path) -> None: ...
    def to_dict(self) -> dict[str, float | str]: ...
    def copy(self, **fields: Any) -> Parameters: ...
    def check(self) -> None: ...
    @staticmethod
    def fields() -> dict[str, tuple[str, str]]: ...
    @staticmethod
    def choices() -> dict[str, dict[str, int]]: ...
    def __eq__(self, other: object) -> bool: ...
    data_file_name: str
    @property
    def ablation_model(self) -> AblationModel | int: ...
    @ablation_model.setter
    def ablation_model(self, value: AblationModel | str | float) -> None: ...
    @property
    def pulse_shape(self) -> PulseShape | int: ...
    @pulse_shape.setter
    def pulse_shape(self, value: PulseShape | str | float) -> None: ...
    pulse_width: float
    fluence: float
    front_fraction: float
    wavelength: float
    @property
    def material(self) -> Material | int: ...
    @material.setter
    def material(self, value: Material | str | float) -> None: ...
    density: float
    specific_heat: float
    thermal_conductivity: float
    absorption_coefficient: float
    screening_coefficient: float
    reflection_coefficient: float
    chromophore_density: float
    volatile_fraction: float
    ambient_temperature: float
    activation_energy_ea: float
    pre_exponential_vo: float
    sublimation_enthalpy_dh: float
    activation_energy_em: float
    pre_exponential_vom: float
    sublimation_enthalpy_dhm: float
    activation_energy_eb: float
    pre_exponential_ko: float
    sublimation_enthalpy_dhb: float
    show_surface_temperature: float
    show_ablation_velocity: float
    show_ablated_depth: float
    show_broken_fraction: float
    show_temperature_profile: float
    show_fraction_profile: float
    temperature_scale: float
    velocity_scale: float
    depth_scale: float
    time_scale: float
    z_scale: float
    @property
    def autoscale(self) -> Autoscale | int: ...
    @autoscale.setter
    def autoscale(self, value: Autoscale | str | float) -> None: ...
    output_surface_temperature: float
    output_ablation_velocity: float
    output_ablated_depth: float
    output_broken_fraction: float
    output_interval: float
    @property
    def kinetics_file_mode(self) -> KineticsFileMode | int: ...
    @kinetics_file_mode.setter
    def kinetics_file_mode(self, value: KineticsFileMode | str | float) -> None: ...
    @property
    def spatial_output(self) -> SpatialOutput | int: ...
    @spatial_output.setter
    def spatial_output(self, value: SpatialOutput | str | float) -> None: ...
    spatial_time_1: float
    spatial_time_2: float
    spatial_time_3: float
    spatial_time_4: float
    spatial_time_5: float
    spatial_time_6: float
    spatial_time_7: float
    spatial_time_8: float
    spatial_time_9: float
    spatial_time_10: float

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
    total_depth_error_nm: float
    peak_surface_temperature_error_K: float
    tolerance_note: str
    split_steps: int

class Experiment:
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

class StudyTable(dict[str, NDArray[Any]]):
    table_text: str
    hash: str
    def to_csv(self, path: _Path) -> None: ...

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
        tolerance: float | None = ...) -> dict[str, Any]: ...
def threshold(parameters: Parameters, depth: float = ..., quantity: str = ...,
              jobs: int | None = ..., scheme: str | None = ..., *,
              experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
              trace: _Path | None = ..., pulses: int | Sequence[int] | None = ...,
              rate_hz: float | None = ...,
              incubated_absorption: float | None = ..., material: _Path | None = ...,
        tolerance: float | None = ...) -> dict[str, Any]: ...
def study(parameters: Parameters, vary: Mapping[str, str | Sequence[_Number]] | None = ...,
          client: Any = ..., jobs: int | None = ..., refinement: int = ...,
          chunk_size: int | None = ..., progress: Callable[[int, int], object] | bool | None = ...,
          *, points: Sequence[Mapping[str, _Number]] | Mapping[str, Sequence[_Number]] | None = ...,
          timeout: float | None = ..., scheme: str | None = ...,
          energy: bool = ..., experiment: Experiment | _Path | None = ..., pulse_shape: str | None = ...,
        trace: _Path | None = ..., pulses: int | None = ..., rate_hz: float | None = ...,
        incubated_absorption: float | None = ..., material: _Path | None = ...) -> StudyTable: ...
