"""The module's surface and its call frame: binding, conversion and errors."""

import ast
import inspect
import pathlib
import shutil
import subprocess
import sys
import textwrap

import pytest

import morvane


def read_stub():
    """The stub's syntax tree: installed beside the module, or in the source
    tree when the module is a build tree's."""
    for path in (pathlib.Path(morvane.__file__).with_name("__init__.pyi"),
                 pathlib.Path(__file__).resolve().parents[1] / "python" / "morvane" / "__init__.pyi"):
        if path.is_file():
            return ast.parse(path.read_text(encoding="utf-8"))
    raise FileNotFoundError("morvane/__init__.pyi")


STUB = read_stub()
# The stub's __all__ is in the order the module adds its functions.
EXEC_ORDER = next(ast.literal_eval(node.value) for node in STUB.body
                  if isinstance(node, ast.Assign) and [t.id for t in node.targets] == ["__all__"])
STUB_FUNCTIONS = {node.name: node for node in STUB.body if isinstance(node, ast.FunctionDef)}


def stub_signature(name):
    """The signature the stub declares, without its annotations. Every
    function takes its arguments by position or keyword."""
    args = STUB_FUNCTIONS[name].args
    assert not (args.posonlyargs or args.vararg or args.kwonlyargs or args.kwarg), name
    defaults = [inspect.Parameter.empty] * (len(args.args) - len(args.defaults))
    defaults += [ast.literal_eval(d) for d in args.defaults]
    return inspect.Signature([inspect.Parameter(a.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD, default=d)
                              for a, d in zip(args.args, defaults)])


def test_only_the_initialiser_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm (binutils) is not installed")
    out = subprocess.run([nm, "-D", "--defined-only", morvane.__file__], capture_output=True, text=True, check=True)
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit_morvane"]


def test_module_attributes():
    assert morvane.__all__ == EXEC_ORDER
    assert morvane.__doc__ == ""
    assert morvane.__name__ == "morvane"
    assert not hasattr(morvane, "PanicException")
    public = {name for name in vars(morvane) if not name.startswith("__")}
    assert public == set(EXEC_ORDER)


@pytest.mark.parametrize("name", EXEC_ORDER)
def test_function_metadata(name):
    fn = getattr(morvane, name)
    assert fn.__name__ == name
    assert fn.__module__ == "morvane"
    assert fn.__doc__ is None
    assert inspect.signature(fn) == stub_signature(name)


def message(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.type, str(info.value), getattr(info.value, "__notes__", None)


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: morvane.levenshtein_bp("a"), "levenshtein_bp() missing 1 required positional argument: 'str_2'"),
        (lambda: morvane.damerau_bp(), "damerau_bp() missing 2 required positional arguments: 'str_1' and 'str_2'"),
        (lambda: morvane.levenshtein_bp(str_2="b"), "levenshtein_bp() missing 1 required positional argument: 'str_1'"),
        (lambda: morvane.jaro_winkler_batch(p=0.1), "jaro_winkler_batch() missing 2 required positional arguments: 'query' and 'candidates'"),
        (lambda: morvane._ingest_borrow(), "_ingest_borrow() missing 1 required positional argument: 'candidates'"),
        (lambda: morvane.levenshtein_bp(*"abcdef"), "levenshtein_bp() takes from 2 to 5 positional arguments but 6 were given"),
        (lambda: morvane.jaro_winkler_batch(*"abcde"), "jaro_winkler_batch() takes from 2 to 4 positional arguments but 5 were given"),
        (lambda: morvane._ingest_owned([], []), "_ingest_owned() takes 1 positional arguments but 2 were given"),
        (lambda: morvane.damerau_bp("a", "b", str_1="c"), "damerau_bp() got multiple values for argument 'str_1'"),
        (lambda: morvane.damerau_bp("a", "b", limit=1), "damerau_bp() got an unexpected keyword argument 'limit'"),
        (lambda: morvane.damerau_bp("a", "b", **{"\udc80": 1}), "damerau_bp() got an unexpected keyword argument '\udc80'"),
        # The first error found wins, and binding errors precede conversion.
        (lambda: morvane.levenshtein_bp(1, limit=1), "levenshtein_bp() got an unexpected keyword argument 'limit'"),
    ],
)
def test_binding_errors(call, text):
    kind, msg, notes = message(call)
    assert (kind, msg, notes) == (TypeError, text, None)


def test_keywords_bind_like_positions():
    expected = morvane.levenshtein_bp("kitten", "sitting", 10, True, 5)
    assert morvane.levenshtein_bp(str_2="sitting", str_1="kitten", score_cutoff=5, case_insensitive=True, max_len=10) == expected
    assert morvane.levenshtein_bp("kitten", str_2="sitting", max_len=10, score_cutoff=5, case_insensitive=True) == expected
    assert morvane.jaro_winkler_similarity(str_2="MARHTA", str_1="MARTHA", p=0.25) == 0.9861111111111112


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


class Floaty:
    def __float__(self):
        return 0.2


class Boom(Exception):
    pass


def fake_numpy_bool(name, **body):
    return type(name, (), {"__module__": "numpy", **body})


@pytest.mark.parametrize(
    "call, kind, text, note",
    [
        (lambda: morvane.levenshtein_bp(1, "a"), TypeError, "'int' object is not an instance of 'str'", "str_1"),
        (lambda: morvane.levenshtein_bp(None, "a"), TypeError, "'None' is not an instance of 'str'", "str_1"),
        (lambda: morvane.levenshtein_bp("a", b"a"), TypeError, "'bytes' object is not an instance of 'str'", "str_2"),
        (lambda: morvane.levenshtein_bp("\udc80", "a"), UnicodeEncodeError, None, "str_1"),
        (lambda: morvane.levenshtein_bp("a", "b", max_len=-1), OverflowError, None, "max_len"),
        (lambda: morvane.levenshtein_bp("a", "b", max_len=2**64), OverflowError, None, "max_len"),
        (lambda: morvane.levenshtein_bp("a", "b", max_len=2.0), TypeError, "'float' object cannot be interpreted as an integer", "max_len"),
        (lambda: morvane.levenshtein_bp("a", "b", score_cutoff="3"), TypeError, None, "score_cutoff"),
        (lambda: morvane.levenshtein_bp("a", "b", max_len=Index(Boom("x"))), Boom, "x", "max_len"),
        (lambda: morvane.levenshtein_bp("a", "b", case_insensitive=1), TypeError, "'int' object is not an instance of 'bool'", "case_insensitive"),
        (lambda: morvane.levenshtein_bp("a", "b", case_insensitive="yes"), TypeError, "'str' object is not an instance of 'bool'", "case_insensitive"),
        (lambda: morvane.levenshtein_bp("a", "b", case_insensitive=fake_numpy_bool("bool_")()), TypeError,
         "object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion", "case_insensitive"),
        (lambda: morvane.levenshtein_bp("a", "b", case_insensitive=fake_numpy_bool("bool", __bool__=lambda s: 1 / 0)()),
         ZeroDivisionError, None, "case_insensitive"),
        (lambda: morvane.levenshtein_bp("a", "b", case_insensitive=fake_numpy_bool("int8", __bool__=lambda s: True)()),
         TypeError, "'int8' object is not an instance of 'bool'", "case_insensitive"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p="x"), TypeError, "must be real number, not str", "p"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", score_cutoff=[]), TypeError, None, "score_cutoff"),
        # Every conversion precedes the core: the bad cut-off is reported,
        # not the over-long text.
        (lambda: morvane.levenshtein_bp("abcdef", "a", max_len=2, score_cutoff=1.5), TypeError, None, "score_cutoff"),
    ],
)
def test_conversion_errors_carry_the_parameter_note(call, kind, text, note):
    got_kind, msg, notes = message(call)
    assert got_kind is kind
    if text is not None:
        assert msg == text
    assert notes == [f"while processing '{note}'"]


def test_accepted_conversions():
    with pytest.raises(ValueError, match=r'InputTooLong \{ which: "str_1", len: 3, limit: 1 \}'):
        morvane.levenshtein_bp("abc", "ab", max_len=True)
    assert morvane.levenshtein_bp("abc", "ab", max_len=Index(3)) == 1
    assert morvane.levenshtein_bp("kitten", "sitting", score_cutoff=Index(1)) == 2
    assert morvane.levenshtein_bp("ABC", "abc", case_insensitive=None) == 3
    assert morvane.levenshtein_bp("ABC", "abc", case_insensitive=fake_numpy_bool("bool_", __bool__=lambda s: True)()) == 0
    assert morvane.levenshtein_bp("ABC", "abc", case_insensitive=fake_numpy_bool("bool", __bool__=lambda s: False)()) == 3
    assert morvane.jaro_winkler_similarity("MARTHA", "MARHTA", p=Floaty()) == morvane.jaro_winkler_similarity("MARTHA", "MARHTA", p=0.2)
    assert morvane.jaro_winkler_similarity("MARTHA", "MARHTA", p=0) == 0.9444444444444445
    assert morvane.jaro_winkler_similarity("MARTHA", "MARHTA", p=None) == 0.9611111111111111


def test_numpy_scalars():
    np = pytest.importorskip("numpy")
    assert morvane.levenshtein_bp("ABC", "abc", case_insensitive=np.True_) == 0
    assert morvane.levenshtein_bp("ABC", "abc", case_insensitive=np.bool_(False)) == 3
    assert morvane.levenshtein_bp("abc", "abd", score_cutoff=np.int64(0)) == 1
    with pytest.raises(TypeError, match="'int64' object is not an instance of 'bool'"):
        morvane.levenshtein_bp("a", "b", case_insensitive=np.int64(1))


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda: morvane.levenshtein_bp("abc", "de", max_len=2), 'InputTooLong { which: "str_1", len: 3, limit: 2 }'),
        (lambda: morvane.damerau_bp("ab", "abcde", max_len=4), 'InputTooLong { which: "str_2", len: 5, limit: 4 }'),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=1), "InvalidPrefixScale { value: 1.0 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=-1), "InvalidPrefixScale { value: -1.0 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=0.3), "InvalidPrefixScale { value: 0.3 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=1e-5 - 1), "InvalidPrefixScale { value: -0.99999 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=-1e-5), "InvalidPrefixScale { value: -1e-5 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=2.5e16), "InvalidPrefixScale { value: 2.5e16 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=1e16), "InvalidPrefixScale { value: 1e16 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=123456.5), "InvalidPrefixScale { value: 123456.5 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=float("nan")), "InvalidPrefixScale { value: NaN }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=float("-inf")), "InvalidPrefixScale { value: -inf }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=-1e-300), "InvalidPrefixScale { value: -1e-300 }"),
        (lambda: morvane.jaro_winkler_similarity("a", "b", p=-5e-324), "InvalidPrefixScale { value: -5e-324 }"),
    ],
)
def test_match_errors_become_value_errors(call, text):
    with pytest.raises(ValueError) as info:
        call()
    assert info.value.args == (text,)
    assert not hasattr(info.value, "__notes__")


def run_python(code, **kwargs):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120, **kwargs)


def test_internal_failures_raise_the_panic_exception():
    # Making collections.abc unimportable turns the non-sequence error path
    # into an internal failure: the only way to reach one from Python.
    result = run_python(
        """
        import sys, threading, morvane
        sys.modules["collections.abc"] = None

        # Many threads hit their first internal failure at once: all of them
        # must get the one exception type, created once.
        seen, start = [], threading.Barrier(8)
        def fail():
            start.wait()
            try:
                morvane._ingest_borrow({1})
            except Exception:
                seen.append("caught as Exception")
            except BaseException as e:
                seen.append(e)
        threads = [threading.Thread(target=fail) for _ in range(8)]
        for t in threads: t.start()
        for t in threads: t.join()
        assert len({type(e) for e in seen}) == 1, seen
        e = seen[0]
        panic = type(e)
        print(panic.__module__, panic.__name__, panic.__bases__ == (BaseException,), len(e.args))
        print("doc" if "BaseException" in panic.__doc__ else "no doc")

        # A panic raised by Python code the module calls is continued, with
        # the same text, as a fresh panic.
        class Bad:
            def __index__(self):
                raise panic("deliberate")
        try:
            morvane.levenshtein_bp("a", "b", max_len=Bad())
        except panic as e:
            print("resumed", e.args, getattr(e, "__notes__", None))
        print(morvane.levenshtein_bp("a", "b"))
        """
    )
    lines = result.stdout.splitlines()
    assert result.returncode == 0, result.stderr
    assert lines[0] == "vesk_runtime PanicException True 1"
    assert lines[1] == "doc"
    assert lines[2] == "resumed ('deliberate',) None"
    assert lines[3] == "1"
    assert "deliberate" in result.stderr  # the continued panic's traceback
    assert "Traceback" in result.stderr


@pytest.mark.refused_allocation
def test_memory_exhaustion_is_a_memory_error():
    # A pattern of 2**24 code points needs a 1 GiB match table: with the
    # address space capped, the allocation fails and the call must fail
    # cleanly, leaving the interpreter usable.
    result = run_python(
        """
        import resource, morvane
        pattern = "ab" * (2**23)
        soft, hard = resource.getrlimit(resource.RLIMIT_AS)
        with open("/proc/self/status") as f:
            vm = next(int(l.split()[1]) for l in f if l.startswith("VmSize:")) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (vm + 512 * 2**20, hard))
        for fn in (morvane.levenshtein_bp, morvane.damerau_bp):
            try:
                fn(pattern, "abc")
            except MemoryError:
                print("MemoryError")
        print(morvane.levenshtein_batch(pattern[:70], ["ab"] * 3))
        print(morvane.levenshtein_bp("kitten", "sitting"))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.split("\n")[:4] == ["MemoryError", "MemoryError", "[68, 68, 68]", "3"]


def test_running_out_of_memory_while_making_a_result_is_a_memory_error():
    # Refusing the interpreter's allocations from the n-th on, for every n up
    # to past the last one a call makes: result lists, their items, error
    # texts, and the panic type when a native failure needs it first. Each
    # call either gives its usual outcome or raises MemoryError; the process
    # must go on.
    result = run_python(
        """
        import sys, _testcapi, morvane
        words = ["kitten", "sitting", "mitten", "k\\u00eftten", "\\u4e00\\u4e01"] * 700
        calls = [
            lambda: morvane.levenshtein_batch("kitten", words),
            lambda: morvane.damerau_batch("kitten", words, case_insensitive=True),
            lambda: morvane.jaro_winkler_batch("kitten", words),
            lambda: morvane.levenshtein_bp("kitten", "sitting" * 50),
            lambda: morvane.jaro_winkler_similarity("kitten", "sitting"),
            lambda: morvane.levenshtein_bp("kitten", "sitting", max_len=2),
            lambda: morvane.jaro_winkler_batch("kitten", words, p=0.5),
            lambda: morvane._ingest_borrow({1}),  # a native failure, below
        ]

        def attempt(call, n):
            _testcapi.set_nomemory(n)
            try:
                return call()
            except BaseException as e:
                caught = e  # looked at once allocations work again
            finally:
                _testcapi.remove_mem_hooks()
            return MemoryError if type(caught) is MemoryError else (type(caught).__name__, caught.args)

        sys.modules["collections.abc"] = None
        for i, call in enumerate(calls):
            outcomes = [attempt(call, n) for n in range(80)]
            # (a pair's small result may come from a free list)
            assert outcomes[0] is MemoryError or i in (3, 4), (i, outcomes[0])
            assert all(o is MemoryError or o == outcomes[-1] for o in outcomes), i
            assert outcomes[-1] is not MemoryError, i
            print(i, repr(outcomes[-1])[:40])
        print(morvane.levenshtein_bp("kitten", "sitting"))
        """
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert len(lines) == 9 and lines[-1] == "3", result.stdout
    assert "ValueError" in lines[5] and "PanicException" in lines[7], result.stdout


def test_subinterpreters_are_refused():
    # One that shares the main interpreter's GIL, which would otherwise load
    # a module that declares nothing.
    result = run_python(
        """
        import _interpreters, morvane
        interp = _interpreters.create("legacy")
        try:
            failure = _interpreters.run_string(interp, "import morvane")
        finally:
            _interpreters.destroy(interp)
        print(failure.type.__name__, "subinterpreters" in failure.msg)
        print(morvane.levenshtein_bp("kitten", "sitting"))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["ImportError True", "3"]
