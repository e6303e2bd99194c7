import os

import pytest

# Set by tools/sanitize.sh. The sanitizer's allocator aborts the process where
# the system allocator would refuse a huge request, so tests that exercise
# refused allocations only run in the plain build.
SANITIZED = os.environ.get("MORVANE_SANITIZED") == "1"


def pytest_configure(config):
    config.addinivalue_line("markers", "refused_allocation: asks the allocator for more than it can give")


def pytest_collection_modifyitems(config, items):
    if not SANITIZED:
        return
    skip = pytest.mark.skip(reason="the sanitizer allocator aborts on refused allocations")
    for item in items:
        if "refused_allocation" in item.keywords:
            item.add_marker(skip)
