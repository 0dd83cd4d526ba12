#!/bin/sh
# Starts the punch clock in its working directory, where it reads link.txt and ftp.txt, finds
# the database folder and writes its exports into temp/: $PUNCHCLOCK_HOME when that is set,
# otherwise punchclock in the user's data folder (~/.local/share/punchclock). The folder and
# its temp/ are made on the first start.
set -e
home=${PUNCHCLOCK_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/punchclock}
mkdir -p "$home/temp"
cd "$home"
exec "$(dirname "$(readlink -f "$0")")/../libexec/punchclock/punchclock" "$@"
