"""Reads the module description of VOKA mod packages (.pak) for mod managers.

Both functions read the package while holding the interpreter lock.
"""

from typing import TypedDict, type_check_only

__all__ = ["is_override", "get_metadata_for_file"]

@type_check_only
class ModuleMetadata(TypedDict):
    """The description of a package's module; absent attributes are "" or 0.
    For type checking only: the function returns a plain dict."""

    Folder: str
    MD5: str
    Name: str
    PublishHandle: int  # 0 to 2**64 - 1
    UUID: str
    Version64: int  # signed 64-bit, may be negative

@type_check_only
class PanicException(BaseException):
    """Raised for an internal failure, never for a bad package. The class is not
    an attribute of the module: catch it as BaseException."""

def is_override(path: str) -> bool:
    """True unless some stored file is the module's own content; also True for a
    package that cannot be read. Raises only TypeError or UnicodeEncodeError for a
    bad argument."""

def get_metadata_for_file(path: str) -> ModuleMetadata:
    """The description of the package's single module. Raises Exception with a
    one-line message when the package cannot be read, holds no description ("no
    mod info found") or several ("multiple meta.kvt in .pak")."""
