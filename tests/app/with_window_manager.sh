#!/bin/sh
# Runs a command on the current X display under openbox, as a person's desktop would manage
# its windows; without openbox the command runs alone.
if command -v openbox >/dev/null 2>&1; then
    openbox >/dev/null 2>&1 &
    manager=$!
    sleep 0.5
    "$@"
    status=$?
    kill "$manager" 2>/dev/null
    wait "$manager" 2>/dev/null
    exit "$status"
fi
exec "$@"
