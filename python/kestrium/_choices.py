"""The choices of the Parameter set as enums, made from the program's own table of fields.

Each member is its name as a str (AblationModel.bulk == "bulk"), so a Parameters field set from
a member reads back equal to it; .code is the number the parameter file holds.
"""

import enum

from ._kestrium import Parameters, _pulse_plan_shapes, _schemes

_CODES = Parameters.choices()


class _Choice(str, enum.Enum):
    def __str__(self):
        return self.value

    @property
    def code(self):
        """The number the parameter file holds for this choice."""
        return _CODES[self._field_name()][self.value]

    @classmethod
    def _field_name(cls):
        return _FIELDS[cls.__name__]


# The enum of each choice field: ablation_model -> AblationModel.
_FIELDS = {"".join(part.title() for part in name.split("_")): name for name in _CODES}


def _choice(type_name):
    return _Choice(type_name, [(name, name) for name in _CODES[_FIELDS[type_name]]],
                   module=__name__, qualname=type_name)


AblationModel = _choice("AblationModel")
PulseShape = _choice("PulseShape")
Material = _choice("Material")
Autoscale = _choice("Autoscale")
KineticsFileMode = _choice("KineticsFileMode")
SpatialOutput = _choice("SpatialOutput")


def _choice_doc(kind, field, example):
    names = ", ".join(repr(member.value) for member in kind)
    return f"""The choices of the Parameter-set field {field}: {names}.

    Each member is its name as a str, so a field set from a member reads back equal to it;
    its code property is the number the parameter file holds.

    Examples
    --------
    >>> import kestrium
    >>> p = kestrium.Parameters({field}=kestrium.{kind.__name__}.{example})
    >>> p.{field} == "{example}"
    True
    """


for _kind in (AblationModel, PulseShape, Material, Autoscale, KineticsFileMode, SpatialOutput):
    _kind.__doc__ = _choice_doc(_kind, _kind._field_name(), next(iter(_kind)).value)

# The choices of a run beside its parameters: the scheme and the shape of its pulses
# (scheme=, pulse_shape=).
class _RunChoice(str, enum.Enum):
    def __str__(self):
        return self.value


Scheme = _RunChoice("Scheme", [(name, name) for name in _schemes], module=__name__,
                    qualname="Scheme")
PulsePlanShape = _RunChoice("PulsePlanShape", [(name, name) for name in _pulse_plan_shapes],
                            module=__name__, qualname="PulsePlanShape")
Scheme.__doc__ = """The schemes of a run (scheme= of run, sweep, study, fit and threshold).

    'published' gives the program's results; 'accurate' conserves energy and is second order in
    time and space. Each member is its name as a str.

    Examples
    --------
    >>> import kestrium
    >>> r = kestrium.run(kestrium.Parameters(), scheme=kestrium.Scheme.accurate)
    """
PulsePlanShape.__doc__ = """The shapes of a run's pulses (pulse_shape= of the calls).

    'file': the parameters' triangle or rectangle; 'gaussian': FWHM = the pulse width;
    'measured': the shape of a pulse trace (trace=). Each member is its name as a str.

    Examples
    --------
    >>> import kestrium
    >>> r = kestrium.run(kestrium.Parameters(), pulse_shape=kestrium.PulsePlanShape.gaussian)
    """
