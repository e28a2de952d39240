#!/bin/sh
# run_target.sh <log> <fuzz target> <arguments...>
# Runs one fuzz target with its output in <log>, so that targets running
# side by side do not mix their lines.  Prints the target's summary line,
# or after a finding the end of the log (the report and the input's name).
log=$1
shift
name=$(basename "$1")
if "$@" > "$log" 2>&1; then
  echo "$name: $(tail -n 1 "$log")"
else
  status=$?
  echo "$name failed ($status), the end of $log:"
  tail -n 60 "$log"
  exit $status
fi
