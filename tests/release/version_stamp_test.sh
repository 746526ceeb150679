#!/bin/bash
# The build's version from histories of a repository of its own: the commits counted from the
# one that set the version (not from a change of the languages on its line), and a tree with
# uncommitted changes, a shallow clone or an exported tree never given a release's version.
#   version_stamp_test.sh SOURCE_DIR CMAKE
set -euo pipefail
source_dir=$1 cmake=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

stamp() {  # stamp TREE KEY: the KEY the build writes for TREE
    "$cmake" -DSOURCE_DIR="$1" -DVERSION=9.8.7 -DOUTPUT_DIR="$work/out" -P "$source_dir/cmake/version_stamp.cmake" >/dev/null
    sed -n "s/^$2=//p" "$work/out/kavrel_version.txt"
    rm -rf "$work/out"
}
expect() {
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: \"$2\", expected \"$3\""
        status=1
    fi
}
commit() {  # commit FILE TEXT
    printf '%s\n' "$2" >"$repo/$1"
    git -C "$repo" add -A
    git -C "$repo" -c user.name=test -c user.email=test@example.invalid commit -qm "$1"
}

repo=$work/repo
git init -q "$repo"
commit CMakeLists.txt 'project(Kavrel VERSION 9.8.6 LANGUAGES C)'
commit CMakeLists.txt 'project(Kavrel VERSION 9.8.7 LANGUAGES C)'
expect "the commit that set the version" "$(stamp "$repo" build)/$(stamp "$repo" version)" "0/9.8.7"
commit notes.txt one
commit CMakeLists.txt 'project(Kavrel VERSION 9.8.7 LANGUAGES C CXX)'
commit notes.txt two
expect "commits since the version was set" "$(stamp "$repo" build)" 3

printf 'x\n' >"$repo/untracked.txt"
expect "uncommitted changes" "$(stamp "$repo" version)" "9.8.7-dirty"
rm "$repo/untracked.txt"

git clone -q --depth 1 "file://$repo" "$work/shallow"
expect "a shallow clone" "$(stamp "$work/shallow" version)" "9.8.7-unknown"
mkdir "$work/exported"
git -C "$repo" archive HEAD | tar -x -C "$work/exported"
expect "a tree without git" "$(stamp "$work/exported" version)" "9.8.7-unknown"
exit $status
