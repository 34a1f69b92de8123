"""The quavr package: Python over the Quavr C library through ctypes, no compiled code of its own.

Built from this folder as it is (`pip install ./python`), it is a pure wheel that finds the
system's library. Where a copy of the library sits in quavr/ (scripts/package puts one there in a
scratch copy of this folder), the wheel carries it and is tagged for the platform, as the library
is compiled for one; it stays py3-none, since no Python ABI is involved.
"""

from pathlib import Path

from setuptools import Distribution, setup

bundled = [name for name in ("libquavr.so.0", "QUAVR.DLL")
           if (Path(__file__).parent / "quavr" / name).exists()]
options = {}
if bundled:
    from wheel.bdist_wheel import bdist_wheel

    class WithLibrary(Distribution):
        def has_ext_modules(self) -> bool:  # a platform wheel, installed as one
            return True

    class PlatformWheel(bdist_wheel):
        def get_tag(self) -> tuple[str, str, str]:
            return "py3", "none", super().get_tag()[2]

    options = {"distclass": WithLibrary, "cmdclass": {"bdist_wheel": PlatformWheel}}

setup(package_data={"quavr": ["py.typed", *bundled]}, **options)
