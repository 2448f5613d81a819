#!/bin/sh
# Link launcher: runs the link command with SOURCE_DATE_EPOCH set from a file.
# Debian's binutils then stamp the PE header with that time rather than the
# clock's, so that the same sources link to the same bytes.
#   sh link_at_source_date.sh EPOCH_FILE LINKER [ARGS...]
set -e
SOURCE_DATE_EPOCH=$(cat "$1")
export SOURCE_DATE_EPOCH
shift
exec "$@"
