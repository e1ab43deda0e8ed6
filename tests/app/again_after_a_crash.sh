#!/bin/sh
# Runs a test once more when it was killed by a signal. Qt 6.4's media backends (FFmpeg's is a
# technology preview there) now and then crash inside their own render and decoder threads;
# our side of the video path runs clean under AddressSanitizer. A failed check (an ordinary
# exit status) fails at once, and a second crash fails too.
"$@"
status=$?
if [ "$status" -gt 128 ]; then
    echo "killed by signal $((status - 128)): running the test once more" >&2
    "$@"
    status=$?
fi
exit "$status"
