#!/bin/sh
# The default browser of the test world (Wine's WineBrowser "Browsers" setting names it): opens
# nothing and appends each address it is asked to open, one a line, to the browser record
# <world>/standins/browser.txt. Wine starts it and does not wait for it.
set -eu
record=${TAMRIX_WORLD_DIR:?the browser stand-in runs inside the world}/standins/browser.txt
printf '%s\n' "$*" >>"$record"
