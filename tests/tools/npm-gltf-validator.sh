#!/bin/sh
# Installs the Khronos glTF validator (npm package gltf-validator, pinned) into DIR/
# node_modules unless that version is there already: the tests run it with node.
# Usage: npm-gltf-validator.sh DIR
set -eu
version=2.0.0-dev.3.10
dir="$1"
if grep -qs "\"version\": \"$version\"" "$dir/node_modules/gltf-validator/package.json"; then
  exit 0
fi
mkdir -p "$dir"
npm install --prefix "$dir" --no-audit --no-fund --no-save "gltf-validator@$version"
