#!/bin/sh
# The fuzz lab (fuzz/lab.py; ./fuzz.sh with no arguments tells its commands). See docs/fuzzing.md.
exec /usr/bin/python3 "$(dirname "$0")/fuzz/lab.py" "$@"
