#!/usr/bin/env bash
# Builds the MSI package of one architecture with wixl from installer/talmox.wxs: the one
# place of its command line, for the build (installer/installer.cmake) and for the install test
# (which packages an older version of the same files to upgrade from).
#   make-msi.sh ARCH VERSION FOLDER OUT
# ARCH: x64 or x86; VERSION: x.y.z; FOLDER holds talmox.exe, talmox.chm and talmox.ico.
set -eu
arch=$1 version=$2 folder=$3 out=$4
wxs=$(cd "$(dirname "$0")/../../installer" && pwd)/talmox.wxs
case $out in /*) ;; *) out=$PWD/$out ;; esac
# wixl finds the files the package names relative to the folder it runs in.
cd "$folder"
wixl -a "$arch" -D Version="$version" -D Arch="$arch" -o "$out" "$wxs"
