#!/usr/bin/env bash
# Packs Orvane's Windows installer with wixl from a folder holding
# orvane.exe, orvane-batch.exe, orvane.chm and README.txt.
# Usage: scripts/windows/make-msi.sh STAGE_DIR VERSION OUTPUT.msi
# VERSION is the project's version (product-version.txt in the build folder).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# = 3 ] || { echo "usage: $0 STAGE_DIR VERSION OUTPUT.msi" >&2; exit 2; }
# wixl finds the files relative to the folder of the .wxs file.
stage=$(realpath --relative-to="$here" "$1") version=$2 output=$3
# Windows Installer compares major.minor.build, each a number.
[[ "$version" =~ ^[0-9]+(\.[0-9]+){0,2}$ ]] || { echo "$0: not an installer version: '$version'" >&2; exit 2; }
# The product code follows the version alone, so two packages of the same
# version are the same product and never stand side by side.
upgrade_code=$(grep -o 'UpgradeCode="[^"]*"' "$here/orvane.wxs" | cut -d'"' -f2)
product_code=$(/usr/bin/python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$upgrade_code" "$version")
wixl --arch x64 -D Version="$version" -D ProductCode="$product_code" -D Stage="$stage" -o "$output.new" "$here/orvane.wxs"
mv -f "$output.new" "$output"
