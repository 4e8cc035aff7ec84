"""The module object, argument binding and the native boundary."""

import importlib.util
import pathlib
import shutil
import subprocess
import sys
import textwrap

import pytest

import quellan_formats
from platforms import needs_elf, needs_proc_and_rlimit_as

FUNCTIONS = [quellan_formats.is_override, quellan_formats.get_metadata_for_file]
by_function = pytest.mark.parametrize("function", FUNCTIONS, ids=lambda function: function.__name__)


class _HidesQualifiedName(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise AttributeError(name)
        return super().__getattribute__(name)


class Nameless(metaclass=_HidesQualifiedName):
    pass


class PathText(str):
    pass


# Messages with {} take the function's name.
ARGUMENT_ERRORS = [
    pytest.param((), {}, "{}() missing 1 required positional argument: 'path'", id="missing"),
    pytest.param(("a.pak", "b.pak"), {}, "{}() takes 1 positional arguments but 2 were given", id="two-positional"),
    pytest.param(("a", "b", "c"), {"file": 1}, "{}() takes 1 positional arguments but 3 were given",
                 id="count-before-keywords"),
    pytest.param(("a.pak",), {"path": "b.pak"}, "{}() got multiple values for argument 'path'", id="twice"),
    pytest.param((), {"file": "a.pak"}, "{}() got an unexpected keyword argument 'file'", id="unknown-keyword"),
    pytest.param((), {"path": "a.pak", "Path": 1, "x": 2}, "{}() got an unexpected keyword argument 'Path'",
                 id="first-unknown-keyword"),
    pytest.param((b"a.pak",), {}, "argument 'path': 'bytes' object is not an instance of 'str'", id="bytes"),
    pytest.param((pathlib.Path("a.pak"),), {},
                 f"argument 'path': '{type(pathlib.Path()).__name__}' object is not an instance of 'str'",
                 id="path-object"),
    pytest.param((), {"path": 3}, "argument 'path': 'int' object is not an instance of 'str'", id="int-by-keyword"),
    pytest.param((None,), {}, "argument 'path': 'None' is not an instance of 'str'", id="None"),
    pytest.param((Nameless(),), {}, "argument 'path': '<failed to extract type name>' object is not an instance of 'str'",
                 id="type-without-name"),
]


@by_function
@pytest.mark.parametrize("args, kwargs, message", ARGUMENT_ERRORS)
def test_bad_arguments_raise_type_error(function, args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        function(*args, **kwargs)
    assert type(caught.value) is TypeError
    assert caught.value.args == (message.format(function.__name__),)
    assert caught.value.__cause__ is None


@by_function
def test_lone_surrogate_raises_the_interpreters_encode_error(function):
    with pytest.raises(UnicodeEncodeError):
        function("mods/\udc80.pak")


@by_function
def test_path_may_be_given_by_keyword_or_as_str_subclass(function, foo_path):
    answer = function(foo_path)
    assert function(path=foo_path) == answer
    assert function(PathText(foo_path)) == answer


def test_module_attributes():
    assert quellan_formats.__all__ == ["is_override", "get_metadata_for_file"]
    assert quellan_formats.__doc__ == ""


@by_function
def test_function_attributes(function):
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__doc__ is None
    assert function.__text_signature__ == "(path)"
    assert function.__self__ is quellan_formats
    assert function.__module__ == "quellan_formats"


def _unexecuted_module(**attributes):
    spec = importlib.util.find_spec("quellan_formats")
    module = importlib.util.module_from_spec(spec)
    for name, value in attributes.items():
        setattr(module, name, value)
    return spec, module


def test_exec_appends_to_an_existing_all():
    spec, module = _unexecuted_module(__all__=["existing"])
    spec.loader.exec_module(module)
    assert module.__all__ == ["existing", "is_override", "get_metadata_for_file"]


def test_exec_refuses_an_all_that_is_not_a_list():
    spec, module = _unexecuted_module(__all__=("existing",))
    with pytest.raises(TypeError, match="__all__ must be a list"):
        spec.loader.exec_module(module)
    assert not hasattr(module, "is_override")


def _tool_output(*command):
    if shutil.which(command[0]) is None:
        pytest.skip(f"{command[0]} is not installed")
    return subprocess.run([*command, quellan_formats.__file__], check=True, capture_output=True, text=True).stdout


@needs_elf
def test_shared_object_exports_only_its_init_function():
    symbols = [line.split()[-1] for line in _tool_output("nm", "-D", "--defined-only").splitlines()]
    assert symbols == ["PyInit_quellan_formats"]


@needs_elf
def test_shared_object_links_no_libpython():
    needed = [line for line in _tool_output("readelf", "-d").splitlines() if "(NEEDED)" in line]
    assert needed and not [line for line in needed if "libpython" in line]


# Copying a path larger than the address space left to the process makes the
# binding's own allocation fail, which must surface as PanicException.
PANIC_SCRIPT = textwrap.dedent(
    """
    import resource, quellan_formats
    path = "x" * (128 << 20)
    with open("/proc/self/status") as status:
        used = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) << 10
    resource.setrlimit(resource.RLIMIT_AS, (used + (32 << 20),) * 2)
    try:
        quellan_formats.{function}(path)
    except Exception:
        print("caught as Exception")
    except BaseException as panic:
        kind = type(panic)
        print(kind.__module__, kind.__qualname__, kind.__bases__ == (BaseException,), len(panic.args))
    """
)


@needs_proc_and_rlimit_as
@by_function
def test_native_allocation_failure_raises_panic_exception(function):
    script = PANIC_SCRIPT.format(function=function.__name__)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert result.stdout.split() == ["quellan_formats", "PanicException", "True", "1"], result.stderr
