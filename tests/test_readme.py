"""The README's lookup examples run as written: its pycon sessions as
doctests, its Python blocks as scripts."""

import doctest
import pathlib
import re

import pytest

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"
SECTION = README.read_text(encoding="utf-8").split("## Lookup, matrices and joins", 1)[1].split("\n## ", 1)[0]


def test_sessions():
    pytest.importorskip("pandas")
    sessions = re.findall(r"```pycon\n(.*?)```", SECTION, re.S)
    assert sessions
    test = doctest.DocTestParser().get_doctest("\n".join(sessions), {}, "README", str(README), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.failures == 0 and runner.tries > 0


def test_scripts(capsys):
    pytest.importorskip("distributed")
    scripts = re.findall(r"```python\n(.*?)```", SECTION, re.S)
    assert scripts
    for script in scripts:
        exec(compile(script, str(README), "exec"), {})
    assert capsys.readouterr().out.strip()
