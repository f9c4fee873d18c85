#!/usr/bin/env bash
# Makes varnel.ico, the icon of Varnel.exe and of its installer, from the program's picture
# (src/resources/program.png, 128 x 128) with ImageMagick: the sizes Windows asks for in
# Explorer, the taskbar and the Start menu at 100 % to 200 % scaling.
set -euo pipefail
cd "$(dirname "$0")"
convert ../src/resources/program.png -define icon:auto-resize=128,64,48,32,24,16 varnel.ico
