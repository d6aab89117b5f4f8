#!/bin/sh
# The fuzz lab (the package fuzz/fuzzlab; ./fuzz.sh with no arguments tells its commands). See docs/fuzzing.md.
PYTHONPATH="$(dirname "$0")/fuzz${PYTHONPATH:+:$PYTHONPATH}" exec /usr/bin/python3 -m fuzzlab "$@"
