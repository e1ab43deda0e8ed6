"""Data Matrix (ECC 200) decoding, encoding and print-quality grading.

Images are NumPy arrays of dtype uint8, 2-D gray or 3-D with 3 (BGR) or 4 (BGRA) channels, any
strides, or PIL images. Text without an ECI is code page 936 (GBK), as this system writes it.
"""

from typing import Any, Literal, Optional, Union

import numpy
import numpy.typing

# A NumPy array of uint8 (2-D gray, or 3-D BGR / BGRA) or a PIL.Image.Image.
Image = Union[numpy.ndarray, Any]
Point = tuple[float, float]

class DecodeError(Exception):
    """No symbol was decoded (decode) or located (grade)."""

    status: int
    """The decoder's status number (3 missing input, 9 no finder, 6 a block uncorrectable...)."""
    meaning: str
    """The status in words."""
    result: Optional[Result]
    """How far the decode got (its corners set when a symbol was located), or None."""
    def __init__(self, status: int, meaning: str, result: Optional[Result] = ...) -> None: ...

class EncodeError(ValueError):
    """The text cannot be encoded with the options given."""

class Result:
    """One Data Matrix symbol as the decoder read it."""

    @property
    def text(self) -> str:
        """The message as text: GBK where no ECI is in force, each ECI segment in its
        character set; bytes that do not convert become U+FFFD."""
    @property
    def bytes(self) -> bytes:
        """The message bytes exactly as the symbol holds them."""
    @property
    def corners(self) -> Optional[tuple[Point, Point, Point, Point]]:
        """Outer corners (x, y) in the image's pixels: top left, top right, bottom right,
        bottom left as printed; None when not located."""
    @property
    def size(self) -> tuple[int, int]:
        """(rows, columns) in modules; (0, 0) when no size was measured."""
    @property
    def status(self) -> int:
        """The decoder's status number: 1 decoded, else how it failed."""
    @property
    def meaning(self) -> str:
        """The status in words."""
    @property
    def decoded(self) -> bool:
        """Whether it decoded."""
    @property
    def flags(self) -> list[str]:
        """Names of what the message is beside its text, of gs1, macro, eci,
        structured_append, reader_programming, mirrored, inverted."""
    @property
    def symbology_identifier(self) -> str:
        """The AIM symbology identifier, ']d1' to ']d6'."""
    @property
    def gs1(self) -> bool:
        """FNC1 in the first position: the text is GS1 element strings."""
    @property
    def macro(self) -> Optional[int]:
        """5 or 6 for a Macro 05/06 symbol, else None."""
    @property
    def eci(self) -> list[tuple[int, int]]:
        """The ECIs in force as (eci, first byte index), in message order."""
    @property
    def structured_append(self) -> Optional[tuple[int, int, tuple[int, int]]]:
        """(position, total, (file id 1, file id 2)) of a Structured Append symbol, else None."""
    @property
    def reader_programming(self) -> bool:
        """The symbol programs the reader."""
    @property
    def mirrored(self) -> bool:
        """Read from the picture's mirror image."""
    @property
    def inverted(self) -> bool:
        """Printed light on a dark ground."""

class ParameterGrade:
    """One print-quality parameter."""

    name: str
    """Its key: 'symbol_contrast', ..."""
    title: str
    """Its name for people: 'Symbol contrast', ..."""
    @property
    def measured(self) -> bool:
        """False when the grid it is measured at could not be measured."""
    @property
    def value(self) -> Optional[float]:
        """What was measured; None when not measured."""
    @property
    def grade(self) -> Optional[float]:
        """4.0 (A) to 0.0 (F); None when not measured."""
    @property
    def letter(self) -> Optional[str]:
        """'A' to 'D' or 'F'; None when not measured."""

class Grade:
    """The print quality of one symbol (indicative: no calibrated lighting and optics)."""

    @property
    def mode(self) -> Literal["print", "dpm"]:
        """'print', or 'dpm' for a direct part mark."""
    @property
    def size(self) -> tuple[int, int]:
        """(rows, columns) in modules."""
    @property
    def overall(self) -> float:
        """The overall grade, the lowest parameter's, 4.0 to 0.0."""
    @property
    def letter(self) -> str:
        """The overall grade's letter."""
    @property
    def parameters(self) -> dict[str, ParameterGrade]:
        """The parameters by key, in the verifier's order: decode, symbol_contrast (or
        cell_contrast), modulation (cell_modulation), reflectance_margin
        (minimum_reflectance), fixed_pattern_damage, axial_nonuniformity,
        grid_nonuniformity, unused_error_correction."""
    @property
    def decoded(self) -> bool:
        """Whether the grade's own reading of the measured grid decoded."""
    @property
    def status(self) -> int:
        """How the grade's own reading ended (1 decoded)."""
    @property
    def meaning(self) -> str:
        """The status in words."""
    @property
    def text(self) -> Optional[str]:
        """The decoded text, None when not decoded."""
    @property
    def corners(self) -> tuple[Point, Point, Point, Point]:
        """The outline of the measured grid."""
    @property
    def module_size(self) -> float:
        """Mean module pitch, pixels."""
    @property
    def aperture(self) -> float:
        """Synthetic aperture diameter, pixels."""
    @property
    def max_reflectance(self) -> float:
        """Highest reflectance over the symbol and its quiet zone, 0 to 1."""
    @property
    def min_reflectance(self) -> float:
        """Lowest reflectance over the symbol and its quiet zone, 0 to 1."""
    @property
    def global_threshold(self) -> float:
        """Halfway between the two."""
    @property
    def lowest_modulation(self) -> float:
        """The lowest modulation of any codeword module."""
    @property
    def lowest_margin(self) -> float:
        """The lowest reflectance margin of any codeword module."""
    @property
    def print_growth(self) -> Optional[tuple[float, float]]:
        """(horizontal, vertical) print growth in modules per edge; None without a grid."""
    @property
    def exposure(self) -> float:
        """A direct part mark's exposure factor (1 for a print)."""
    @property
    def mean_light(self) -> float:
        """A direct part mark's mean light cell after exposure (0 for a print)."""
    @property
    def mean_dark(self) -> float:
        """A direct part mark's mean dark cell after exposure (0 for a print)."""
    @property
    def grid_failure(self) -> Optional[str]:
        """Why the grid could not be measured, or None."""
    @property
    def blocks(self) -> list[tuple[int, int]]:
        """(errors corrected, capacity) of each Reed-Solomon block (-1: uncorrectable)."""

def decode(image: Image) -> Result:
    """Decode the one Data Matrix symbol in the image, as `dmcodec decode` decodes an image
    file. Raises DecodeError when none decodes, ValueError for an array of the wrong dtype,
    shape or size, TypeError for what is not an image."""

def decode_all(image: Image, most: int = 64) -> list[Result]:
    """Every symbol in the image, at most `most` (1 to 1000), in reading order; empty when
    none was read."""

def encode(
    text: Union[str, bytes, bytearray],
    *,
    scheme: Literal["auto", "ascii", "c40", "text", "x12", "edifact", "base256"] = "auto",
    shape: Literal["square", "rect", "any"] = "square",
    size: Union[None, str, tuple[int, int]] = None,
    module_size: int = 4,
    quiet_zone: int = 3,
    dmre: bool = False,
    gs1: bool = False,
    macro: Optional[Literal[5, 6]] = None,
    eci: Optional[int] = None,
    reader_programming: bool = False,
) -> numpy.typing.NDArray[numpy.uint8]:
    """Encode text into a symbol drawn as a 2-D uint8 array (0 dark, 255 light). Raises
    EncodeError when the text cannot be encoded so, ValueError for options out of range."""

def grade(
    image: Image,
    *,
    light: Literal["red", "green", "blue", "white"] = "red",
    dpm: bool = False,
    aperture: Optional[float] = None,
    aperture_mils: Optional[float] = None,
    dpi: Optional[float] = None,
) -> Grade:
    """Grade the print quality of the symbol in the image, as `dmcodec grade` grades an image
    file. Raises DecodeError when no symbol is located."""
