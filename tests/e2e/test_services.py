"""start service, stop service, remove service against Wine's service manager,
with a real service created by `sc create` and read back with `sc query`."""

import pytest

from conftest import SAMPLE_INF
from texts import (FILE_NOT_FOUND, OPEN_INF_FAILED, OPEN_SERVICE_FAILED, OPEN_SERVICE_FAILED_DE,
                   SERVICE_DOES_NOT_EXIST, box_text, error_box)
from winesetup import wait_for

# The failure to open the service "Missing" (ERROR_SERVICE_DOES_NOT_EXIST),
# in English and in German.
MISSING_NOT_OPENED = error_box(box_text(OPEN_SERVICE_FAILED.format("Missing"), SERVICE_DOES_NOT_EXIST))
MISSING_NOT_OPENED_DE = error_box(box_text(OPEN_SERVICE_FAILED_DE.format("Missing"), SERVICE_DOES_NOT_EXIST))

RUNNING, STOPPED, GONE = "RUNNING", "STOPPED", None

# Each case: the services before (name -> state), the command line (names
# are used as written), the boxes shown, the services after. A name not in
# "before" is unknown to the service manager.
CASES = {
    "start two stopped services": (
        {"SvcA": STOPPED, "SvcB": STOPPED}, "start service SvcA SvcB", [], {"SvcA": RUNNING, "SvcB": RUNNING}),
    "start an already running service: no box, the next name follows": (
        {"SvcA": RUNNING, "SvcB": STOPPED}, "start service SvcA SvcB", [], {"SvcA": RUNNING, "SvcB": RUNNING}),
    "stop a running service": (
        {"SvcA": RUNNING}, "stop service SvcA", [], {"SvcA": STOPPED}),
    "stop a service that is not active: no box, the next name follows": (
        {"SvcA": STOPPED, "SvcB": RUNNING}, "stop service SvcA SvcB", [], {"SvcA": STOPPED, "SvcB": STOPPED}),
    "remove two services": (
        {"SvcA": STOPPED, "SvcB": STOPPED}, "remove service SvcA   SvcB", [], {"SvcA": GONE, "SvcB": GONE}),
    "an unknown name in the middle ends the walk": (
        {"SvcA": STOPPED, "SvcC": STOPPED}, "start service SvcA Missing SvcC",
        [MISSING_NOT_OPENED], {"SvcA": RUNNING, "SvcC": STOPPED}),
    "stop: the failure in German after /de": (
        {"SvcA": RUNNING, "SvcC": RUNNING}, "/de stop service SvcA Missing SvcC",
        [MISSING_NOT_OPENED_DE], {"SvcA": STOPPED, "SvcC": RUNNING}),
    "remove: an unknown name fails at opening (message 29, not 32)": (
        {"SvcA": STOPPED, "SvcC": STOPPED}, "remove service SvcA Missing SvcC",
        [MISSING_NOT_OPENED], {"SvcA": GONE, "SvcC": STOPPED}),
}


@pytest.fixture(scope="module")
def services_wine(prefixes):
    """One prefix for this module: each case uses service names of its own."""
    prefix = prefixes.copy("services")
    yield prefix
    prefixes.discard(prefix)


def unique(case_number, name):
    return f"Ostrel{case_number}{name}" if name.startswith("Svc") else name


def with_unique_names(case_number, command_line):
    return " ".join(unique(case_number, word) for word in command_line.split(" "))


@pytest.mark.parametrize("case", list(CASES))
def test_service_actions(services_wine, case):
    before, command_line, boxes, after = CASES[case]
    number = list(CASES).index(case)
    for name, state in before.items():
        services_wine.create_test_service(unique(number, name))
        if state == RUNNING:
            services_wine.start_service(unique(number, name))

    result = services_wine.run_ostrel(with_unique_names(number, command_line), inf=SAMPLE_INF)

    expected_boxes = [(c, t.replace("Missing", unique(number, "Missing")), i) for c, t, i in boxes]
    assert result.boxes == expected_boxes
    assert result.exit_code == 0
    for name, state in after.items():
        full_name = unique(number, name)
        # The program does not wait for a start or stop to complete; Wine's
        # service manager reports the new state soon after.
        wait_for(lambda: services_wine.service_state(full_name) == state, f"{full_name} to be {state}")


def test_the_inf_test_comes_before_any_service_is_touched(services_wine):
    services_wine.create_test_service("OstrelUntouched")
    services_wine.start_service("OstrelUntouched")
    result = services_wine.run_ostrel("stop service OstrelUntouched")  # no INF file beside it
    assert result.boxes == [error_box(box_text(OPEN_INF_FAILED, FILE_NOT_FOUND))]
    assert services_wine.service_state("OstrelUntouched") == RUNNING
