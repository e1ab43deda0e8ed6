"""The Python module dmcodec driven as a script would: arrays of every layout, PIL images, bad
input, encode/decode round trips, the sample images, grades against the tool's, and round trips
with the peers' Python modules. Run by ctest with PYTHONPATH at the build's module; DM_TOOL and
DM_SAMPLES name the tool and the sample folder."""

import ast
import json
import os
import pathlib
import subprocess
import threading

import numpy as np
import pytest
from PIL import Image

import dmcodec

SAMPLES = pathlib.Path(os.environ.get("DM_SAMPLES", "../shared/samples/clean"))
TOOL = os.environ.get("DM_TOOL", "")


def symbol(text="Python 0123456789", module_size=4, quiet_zone=3, **options):
    return dmcodec.encode(text, module_size=module_size, quiet_zone=quiet_zone, **options)


def bgr(gray):
    return np.dstack([gray, gray, gray])


def near(a, b, tolerance=1.5):
    return abs(a[0] - b[0]) <= tolerance and abs(a[1] - b[1]) <= tolerance


# --- arrays of every layout ---

GRAY = symbol()
SIDE = GRAY.shape[0]
MODULES = SIDE // 4 - 6  # less the quiet zone of 3 modules a side
LAYOUTS = {
    "gray": GRAY,
    "gray 1 channel": GRAY[:, :, np.newaxis],
    "bgr": bgr(GRAY),
    "bgra": np.dstack([GRAY, GRAY, GRAY, np.full_like(GRAY, 7)]),
    "fortran order": np.asfortranarray(GRAY),
    "bgr channels first in memory": np.moveaxis(np.stack([GRAY] * 3), 0, -1),
    "every other pixel of a doubled image": np.repeat(np.repeat(GRAY, 2, 0), 2, 1)[::2, ::2],
    "crop of a larger array": np.pad(GRAY, 40, constant_values=255)[20:-20, 20:-20],
    "transposed": GRAY.T,
    "read-only": np.frombuffer(GRAY.tobytes(), np.uint8).reshape(GRAY.shape),
}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_every_array_layout_decodes(layout):
    result = dmcodec.decode(LAYOUTS[layout])
    assert result.text == "Python 0123456789"
    assert result.size == (MODULES, MODULES)
    assert result.status == 1 and result.decoded


def test_negative_strides_read_the_view_as_it_shows():
    flipped = GRAY[::-1, ::-1]  # turned half round: the finder's corner at the top right
    assert flipped.strides[0] < 0 and flipped.strides[1] < 0
    result = dmcodec.decode(flipped)
    assert result.text == "Python 0123456789"
    edge = 12  # quiet zone 3 x module 4
    far = SIDE - edge
    assert near(dmcodec.decode(GRAY).corners[3], (edge, far))  # solid edges meet bottom left
    assert near(result.corners[3], (far, edge))  # ... and top right in the flipped view


def test_corners_lie_on_the_drawn_symbol():
    edge, far = 12, SIDE - 12
    corners = dmcodec.decode(GRAY).corners
    for found, drawn in zip(corners, [(edge, edge), (far, edge), (far, far), (edge, far)]):
        assert near(found, drawn), corners


def test_colour_channels_are_read_in_bgr_order():
    # The symbol drawn in the red channel alone: only a red reading sees it at full contrast.
    image = np.full(GRAY.shape + (3,), 255, np.uint8)
    image[:, :, 2] = GRAY
    assert dmcodec.decode(image).text == "Python 0123456789"
    red = dmcodec.grade(image, light="red")
    assert red.parameters["symbol_contrast"].value > 0.9
    blue = dmcodec.grade(image, light="blue")  # located in gray; blue is all light there
    assert blue.parameters["symbol_contrast"].value < 0.05 and blue.letter == "F"


# --- PIL images ---

PIL_IMAGES = {
    "L": lambda: Image.fromarray(GRAY),
    "RGB": lambda: Image.fromarray(bgr(GRAY)[:, :, ::-1].copy()),
    "RGBA": lambda: Image.fromarray(np.dstack([bgr(GRAY), np.full_like(GRAY, 255)])),
    "1": lambda: Image.fromarray(GRAY).convert("1"),
    "P": lambda: Image.fromarray(bgr(GRAY)).convert("P"),
    "I;16": lambda: Image.fromarray(GRAY.astype(np.uint16) * 257),
    "I": lambda: Image.fromarray(GRAY).convert("I"),
    "LA": lambda: Image.fromarray(GRAY).convert("LA"),
    "CMYK": lambda: Image.fromarray(bgr(GRAY)).convert("CMYK"),
}


@pytest.mark.parametrize("mode", PIL_IMAGES)
def test_pil_images_of_every_mode_decode(mode):
    image = PIL_IMAGES[mode]()
    assert image.mode == mode
    assert dmcodec.decode(image).text == "Python 0123456789"


def test_pil_rgb_is_read_in_rgb_order():
    rgb = np.full(GRAY.shape + (3,), 255, np.uint8)
    rgb[:, :, 0] = GRAY  # red
    grade = dmcodec.grade(Image.fromarray(rgb), light="red")
    assert grade.parameters["symbol_contrast"].value > 0.9


# --- bad input ---


@pytest.mark.parametrize(
    "image, error, words",
    [
        (GRAY.astype(np.float32), ValueError, "dtype uint8"),
        (GRAY.astype(np.int16), ValueError, "dtype uint8"),
        (GRAY.astype(bool), ValueError, "dtype uint8"),
        (GRAY.ravel(), ValueError, "2-D"),
        (GRAY[np.newaxis, :, :, np.newaxis], ValueError, "2-D"),
        (np.dstack([GRAY, GRAY]), ValueError, "channels"),
        (np.zeros((0, 40), np.uint8), ValueError, "empty"),
        (np.zeros((40, 0, 3), np.uint8), ValueError, "empty"),
        (np.broadcast_to(np.uint8(255), (16385, 20)), ValueError, "at most"),
        (GRAY.tolist(), TypeError, "NumPy array or a PIL image"),
        (None, TypeError, "NumPy array or a PIL image"),
    ],
    ids=["float", "int16", "bool", "1-D", "4-D", "2 channels", "no rows", "no columns",
         "too high", "list", "None"],
)
def test_bad_images_are_refused_with_the_reason(image, error, words):
    for call in (dmcodec.decode, dmcodec.decode_all, dmcodec.grade):
        with pytest.raises(error, match=words):
            call(image)


def test_images_without_a_symbol_raise_decode_error_with_the_status():
    with pytest.raises(dmcodec.DecodeError) as blank:
        dmcodec.decode(np.full((100, 100), 255, np.uint8))
    assert blank.value.status in (9, 10)
    assert "finder" in blank.value.meaning
    assert blank.value.result is not None and blank.value.result.corners is None
    with pytest.raises(dmcodec.DecodeError) as tiny:
        dmcodec.decode(np.zeros((5, 5), np.uint8))
    assert tiny.value.status == 3 and "too small" in tiny.value.meaning
    assert dmcodec.decode_all(np.full((100, 100), 255, np.uint8)) == []
    with pytest.raises(dmcodec.DecodeError) as graded:
        dmcodec.grade(np.full((100, 100), 255, np.uint8))
    assert graded.value.status in (9, 10)


def test_a_damaged_symbol_reports_where_it_was_found():
    damaged = GRAY.copy()
    damaged[12:-12:, 30:60] = 255 - damaged[12:-12, 30:60]  # many codewords inverted
    with pytest.raises(dmcodec.DecodeError) as failed:
        dmcodec.decode(damaged)
    assert failed.value.status not in (1, 9, 10)
    assert str(failed.value).startswith(f"status {failed.value.status}: ")


# --- encode ---


@pytest.mark.parametrize("scheme", ["auto", "ascii", "c40", "text", "x12", "edifact", "base256"])
def test_every_scheme_round_trips(scheme):
    text = "ABC 123 XYZ 456" if scheme in ("x12", "edifact", "c40") else "Scheme test 42, ok?"
    assert dmcodec.decode(symbol(text, scheme=scheme)).text == text


@pytest.mark.parametrize(
    "options, size",
    [
        ({}, (14, 14)),
        ({"shape": "rect"}, (8, 32)),
        ({"size": "16x16"}, (16, 16)),
        ({"size": (16, 48)}, (16, 48)),
        ({"size": "8x64", "dmre": True}, (8, 64)),
    ],
)
def test_shapes_and_sizes(options, size):
    image = symbol("SIZES 12345", module_size=3, quiet_zone=2, **options)
    rows, cols = size
    assert image.shape == ((rows + 4) * 3, (cols + 4) * 3)
    assert image.dtype == np.uint8 and set(np.unique(image)) == {0, 255}
    if size != (8, 64):  # the decoder reads the table's sizes
        result = dmcodec.decode(image)
        assert (result.text, result.size) == ("SIZES 12345", size)


def test_text_is_gbk_unless_an_eci_says_otherwise():
    chinese = dmcodec.decode(symbol("条码测试"))
    assert chinese.text == "条码测试"
    assert chinese.bytes == "条码测试".encode("gbk")
    german = dmcodec.decode(symbol("Grüße €", eci=26))
    assert german.text == "Grüße €" and german.eci == [(26, 0)]
    assert german.bytes == "Grüße €".encode("utf-8") and "eci" in german.flags
    assert dmcodec.decode(symbol("Größe", eci=3)).bytes == "Größe".encode("latin-1")
    raw = bytes(range(256))
    assert dmcodec.decode(symbol(raw)).bytes == raw
    assert dmcodec.decode(symbol(bytearray(b"\xff\x00ab"))).bytes == b"\xff\x00ab"


def test_message_kinds_show_in_the_result():
    gs1 = dmcodec.decode(symbol("(01)09501101530003(17)140704(10)AB-123", gs1=True))
    assert gs1.gs1 and "gs1" in gs1.flags and gs1.symbology_identifier == "]d2"
    assert gs1.bytes == b"0109501101530003171407041" + b"0AB-123"
    macro = dmcodec.decode(symbol("ABC", macro=5))
    assert macro.macro == 5 and macro.text.startswith("[)>\x1e05\x1d")
    plain = dmcodec.decode(GRAY)
    assert plain.flags == [] and plain.macro is None and plain.structured_append is None
    assert not plain.mirrored and not plain.inverted
    assert dmcodec.decode(255 - GRAY).inverted
    assert dmcodec.decode(GRAY[:, ::-1]).mirrored


@pytest.mark.parametrize(
    "text, options, error, words",
    [
        ("", {}, ValueError, "empty"),
        ("x" * 3200, {}, dmcodec.EncodeError, "at most"),
        ("9" * 2000, {"size": "10x10"}, dmcodec.EncodeError, ""),
        ("😀", {}, dmcodec.EncodeError, "GBK"),
        ("abc", {"scheme": "edifact"}, dmcodec.EncodeError, "EDIFACT"),
        ("(99)", {"gs1": True}, dmcodec.EncodeError, ""),
        ("abc", {"scheme": "morse"}, ValueError, "scheme must be one of"),
        ("abc", {"shape": "round"}, ValueError, "shape must be one of"),
        ("abc", {"size": "11x11"}, ValueError, "size takes"),
        ("abc", {"size": "8x48"}, ValueError, "dmre"),
        ("abc", {"module_size": 0}, ValueError, "module_size"),
        ("abc", {"module_size": 21}, ValueError, "module_size"),
        ("abc", {"quiet_zone": -1}, ValueError, "quiet_zone"),
        ("abc", {"macro": 7}, ValueError, "macro"),
        ("abc", {"eci": 123456}, ValueError, "no character set"),
        (42, {}, TypeError, "str or bytes"),
    ],
)
def test_bad_encodes_are_refused_with_the_reason(text, options, error, words):
    with pytest.raises(error, match=words):
        dmcodec.encode(text, **options)


# --- decode_all ---


def test_decode_all_reads_every_symbol_in_reading_order():
    a, b, c = (symbol(t, quiet_zone=4) for t in ("LEFT", "RIGHT", "BELOW"))
    top = np.hstack([a, np.pad(b, ((0, a.shape[0] - b.shape[0]), (0, 0)), constant_values=255)])
    bottom = np.pad(c, ((0, 0), (0, top.shape[1] - c.shape[1])), constant_values=255)
    picture = np.vstack([top, bottom])
    assert [r.text for r in dmcodec.decode_all(picture)] == ["LEFT", "RIGHT", "BELOW"]
    assert len(dmcodec.decode_all(picture, most=2)) == 2
    assert all(r.corners is not None for r in dmcodec.decode_all(picture))
    for most in (0, 1001):
        with pytest.raises(ValueError, match="most"):
            dmcodec.decode_all(picture, most=most)


def test_decoding_runs_in_several_threads_at_once():
    images = [symbol(f"thread {k}") for k in range(6)]
    texts = [None] * len(images)

    def read(k):
        texts[k] = dmcodec.decode(images[k]).text

    threads = [threading.Thread(target=read, args=(k,)) for k in range(len(images))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert texts == [f"thread {k}" for k in range(len(images))]


# --- the sample images, and grades against the tool's ---


def sample_files():
    if not SAMPLES.is_dir():
        pytest.skip(f"no sample images at {SAMPLES}")
    return sorted(SAMPLES.glob("*.png"))


def test_the_sample_images_decode_to_their_texts():
    files = sample_files()
    assert len(files) == 29
    wrong = []
    for path in files:
        expected = path.with_suffix(".txt").read_text(encoding="utf-8")
        if dmcodec.decode(Image.open(path)).text != expected:
            wrong.append(path.name)
    assert wrong == []


def tool_grade(path, *options):
    out = subprocess.run([TOOL, "grade", "--json", *options, str(path)], capture_output=True,
                         text=True, check=False).stdout
    return json.loads(out.splitlines()[0])


JSON_KEYS = {"decode": "decode", "symbol_contrast": "symbolContrast",
             "modulation": "modulation", "reflectance_margin": "reflectanceMargin",
             "fixed_pattern_damage": "fixedPatternDamage",
             "axial_nonuniformity": "axialNonuniformity",
             "grid_nonuniformity": "gridNonuniformity",
             "unused_error_correction": "unusedErrorCorrection",
             "cell_contrast": "cellContrast", "cell_modulation": "cellModulation",
             "minimum_reflectance": "minimumReflectance"}


def assert_same_grade(grade, expected):
    assert expected is not None
    assert grade.overall == pytest.approx(expected["overall"], abs=1e-9)
    assert grade.letter == expected["letter"]
    assert f"{grade.size[0]}x{grade.size[1]}" == expected["symbol"]
    for name, key in (("module_size", "moduleSize"), ("aperture", "aperture"),
                      ("max_reflectance", "maxReflectance"),
                      ("min_reflectance", "minReflectance"),
                      ("lowest_modulation", "lowestModulation")):
        assert getattr(grade, name) == pytest.approx(expected[key], abs=1e-9), name
    assert [JSON_KEYS[k] for k in grade.parameters] == list(expected["parameters"])
    for name, parameter in grade.parameters.items():
        theirs = expected["parameters"][JSON_KEYS[name]]
        assert parameter.grade == pytest.approx(theirs["grade"], abs=1e-9), name
        assert parameter.value == pytest.approx(theirs["value"], abs=1e-9), name
        assert parameter.letter == theirs["letter"]
    assert [list(b) for b in grade.blocks] == [[b["errors"], b["capacity"]]
                                                for b in expected["blocks"]]


@pytest.mark.parametrize("options, keywords", [
    ([], {}),
    (["--light", "green"], {"light": "green"}),
    (["--dpm"], {"dpm": True}),
    (["--aperture", "0.5x"], {"aperture": 0.5}),
    (["--aperture", "5", "--dpi", "300"], {"aperture_mils": 5, "dpi": 300}),
])
def test_grades_match_the_tool_on_the_same_file(tmp_path, options, keywords):
    if not TOOL:
        pytest.skip("DM_TOOL not set")
    drawn = tmp_path / "drawn.png"
    colour = np.dstack([GRAY, np.maximum(GRAY, 90), np.maximum(GRAY, 40)])  # B, G, R
    Image.fromarray(colour[:, :, ::-1].copy()).save(drawn)
    files = [drawn] + ([p for p in sample_files()
                        if p.stem in ("C40", "HelloWorld_Text_L_Kaywa_1_error_byte")]
                       if SAMPLES.is_dir() else [])
    for path in files:
        expected = tool_grade(path, *options)["grade"]
        assert_same_grade(dmcodec.grade(Image.open(path), **keywords), expected)
    # The array of the drawn file, as a script holds it (BGR), grades as the file does.
    assert_same_grade(dmcodec.grade(colour, **keywords), tool_grade(drawn, *options)["grade"])


def test_grade_result_holds_the_parameters_and_the_text():
    grade = dmcodec.grade(GRAY)
    assert grade.letter == "A" and grade.overall == 4.0 and grade.decoded
    assert grade.text == "Python 0123456789" and grade.size == (MODULES, MODULES)
    assert grade.mode == "print" and grade.grid_failure is None
    assert list(grade.parameters)[0] == "decode" and len(grade.parameters) == 8
    assert grade.parameters["symbol_contrast"].title == "Symbol contrast"
    assert grade.module_size == pytest.approx(4, abs=0.05)
    assert grade.aperture == pytest.approx(3.2, abs=0.05)
    mark = dmcodec.grade(GRAY, dpm=True)
    assert mark.mode == "dpm" and "cell_contrast" in mark.parameters
    assert mark.aperture == pytest.approx(2.0, abs=0.05)


def test_a_symbol_only_the_grading_reads_has_its_text():
    # Green on red: one gray level to the decoder, black on white in the red light graded in.
    dark = GRAY < 128
    colour = np.dstack([np.zeros_like(GRAY), np.where(dark, 130, 0),
                        np.where(dark, 0, 255)]).astype(np.uint8)  # B, G, R
    with pytest.raises(dmcodec.DecodeError):
        dmcodec.decode(colour)
    grade = dmcodec.grade(colour)
    assert grade.decoded and grade.status == 1
    assert grade.text == "Python 0123456789"


@pytest.mark.parametrize("options, words", [
    ({"light": "infrared"}, "light must be one of"),
    ({"aperture": 3}, "at most 2"),
    ({"aperture": 0}, "above 0"),
    ({"aperture_mils": 5}, "add dpi"),
    ({"aperture_mils": 5, "dpi": 10}, "dpi must be"),
    ({"aperture": 0.5, "aperture_mils": 5, "dpi": 300}, "not both"),
])
def test_bad_grade_options_are_refused(options, words):
    with pytest.raises(ValueError, match=words):
        dmcodec.grade(GRAY, **options)


# --- the peers' Python modules ---

PEER_TEXTS = ["Hello, peers", "0123456789012345678901234567890123456789",
              "lower case text, 2 lines\nsecond", "MIXED Case 99 ~!@#$%^&*()"]


@pytest.mark.parametrize("text", PEER_TEXTS)
def test_round_trips_with_zxing_cpp(text):
    zxingcpp = pytest.importorskip("zxingcpp")
    ours = symbol(text)
    read = zxingcpp.read_barcode(ours, formats=zxingcpp.BarcodeFormat.DataMatrix)
    assert read is not None and read.text == text
    theirs = zxingcpp.write_barcode(zxingcpp.BarcodeFormat.DataMatrix, text, quiet_zone=12)
    theirs = np.repeat(np.repeat(np.asarray(theirs), 4, 0), 4, 1)
    assert dmcodec.decode(theirs).text == text


@pytest.mark.parametrize("text", PEER_TEXTS)
def test_round_trips_with_pylibdmtx(text):
    pylibdmtx = pytest.importorskip("pylibdmtx.pylibdmtx")
    data = text.encode("ascii")
    read = pylibdmtx.decode(Image.fromarray(symbol(data)), max_count=1)
    assert [r.data for r in read] == [data]
    encoded = pylibdmtx.encode(data)
    theirs = Image.frombytes("RGB", (encoded.width, encoded.height), encoded.pixels)
    assert dmcodec.decode(theirs).bytes == data


# --- the stub and the docstrings ---


def test_the_stub_names_what_the_module_has_and_everything_is_documented():
    stub = pathlib.Path(dmcodec.__file__).with_name("dmcodec.pyi")
    tree = ast.parse(stub.read_text())
    stubbed = {node.name for node in tree.body
               if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    public = {name for name in dir(dmcodec) if not name.startswith("_")}
    assert stubbed == public
    for name in public:
        thing = getattr(dmcodec, name)
        assert thing.__doc__ and thing.__doc__.strip(), name
        if isinstance(thing, type) and not issubclass(thing, Exception):
            for member, value in vars(thing).items():
                if not member.startswith("_"):
                    assert value.__doc__, f"{name}.{member}"
    for cls in (node for node in tree.body if isinstance(node, ast.ClassDef)):
        members = {n.name for n in cls.body if isinstance(n, ast.FunctionDef)} | {
            n.target.id for n in cls.body if isinstance(n, ast.AnnAssign)}
        actual = {m for m in vars(getattr(dmcodec, cls.name)) if not m.startswith("_")}
        if not issubclass(getattr(dmcodec, cls.name), Exception):
            assert members == actual, cls.name
