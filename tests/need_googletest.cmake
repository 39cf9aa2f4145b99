# The test that stands in for the tests when GoogleTest is missing.
message(FATAL_ERROR "The tests need GoogleTest: install ${WHAT}, then configure again.")
