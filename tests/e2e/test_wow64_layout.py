"""The shipped layout on 64-bit Windows: the 32-bit program in a 64-bit
prefix (Wine reports WOW64 to it) with x64\\OstrelSetup.exe beside it.

Tests marked wow64 run only in the wow64 pass (OSTREL_E2E_ARCH=wow64), where
run_ostrel places the 64-bit build as the sibling unless told otherwise.
"""

import pytest

from texts import USAGE_BOX

pytestmark = pytest.mark.wow64


def test_help_is_answered_by_the_32_bit_program_without_its_sibling(shared_wine):
    # A sibling that shows nothing and exits with 2: had the program handed
    # "help" over, there would be no box and another exit code.
    stand_in = shared_wine.build.tools / "devtool.exe"
    result = shared_wine.run_ostrel("help", sibling=stand_in)
    assert result.boxes == [USAGE_BOX]
    assert result.exit_code == 0
