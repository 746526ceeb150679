# Writes what the build knows of its version, at every build:
#   cmake -DSOURCE_DIR=… -DVERSION=1.1.0 -DOUTPUT_DIR=… -P version_stamp.cmake
#
# The version itself is the project's (CMakeLists.txt); this adds the commit it was built from
# and whether the checkout held changes that are not in that commit. A build with such changes
# is never given a clean-looking version: its version reads "1.1.0-dirty", it carries the
# "private build" flag and says so; nor is one whose commits cannot be counted (a shallow clone,
# a tree without git): "1.1.0-unknown", flagged the same way. The time of the commit is the
# build's time, so that the same commit gives the same files whenever it is built.
#
# OUTPUT_DIR/kavrel_version.h    for the version resources (and the test that reads them back)
# OUTPUT_DIR/kavrel_version.txt  key=value lines for the build's own scripts and scripts/package.sh
#
# Each file is rewritten only when its content changes, so that nothing is rebuilt needlessly.

cmake_minimum_required(VERSION 3.25)

find_program(GIT git)
set(unknown "")  # why the build cannot be told apart from others, when it cannot
set(commit "")
set(dirty OFF)
set(epoch "")
set(build 0)
if(GIT)
    execute_process(COMMAND "${GIT}" rev-parse HEAD WORKING_DIRECTORY "${SOURCE_DIR}"
        OUTPUT_VARIABLE full_hash OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND full_hash MATCHES "^[0-9a-f]+$")
        # A fixed length rather than git's shortest unambiguous one, which depends on what else
        # the repository holds.
        string(SUBSTRING "${full_hash}" 0 7 commit)
        execute_process(COMMAND "${GIT}" log -1 --format=%ct WORKING_DIRECTORY "${SOURCE_DIR}"
            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        # The build number, the file version's fourth field: the commits since the one that set
        # the project's version, so that every commit of a version has a number of its own (the
        # numbers Explorer, an inventory and the Application log show), and a release (that
        # commit itself) has 0 after its version.
        # That commit is the newest that changed the version itself, not merely its line (the
        # languages beside it): the first of the line's changes whose parent had another version.
        execute_process(COMMAND "${GIT}" log --format=%H "-Gproject\\(Kavrel VERSION" -- CMakeLists.txt
            WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE line_changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        string(REPLACE "\n" ";" line_changes "${line_changes}")
        set(version_commit "")
        foreach(candidate IN LISTS line_changes)
            execute_process(COMMAND "${GIT}" show "${candidate}^:CMakeLists.txt"
                WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE before ERROR_QUIET RESULT_VARIABLE no_parent)
            set(version_before "")
            if(NOT no_parent AND before MATCHES "project\\(Kavrel VERSION ([0-9.]+)")
                set(version_before "${CMAKE_MATCH_1}")
            endif()
            if(NOT version_before STREQUAL VERSION)
                set(version_commit "${candidate}")
                break()
            endif()
        endforeach()
        # A shallow clone lacks the commits to count: its number would be wrong (0, a release's).
        execute_process(COMMAND "${GIT}" rev-parse --is-shallow-repository WORKING_DIRECTORY "${SOURCE_DIR}"
            OUTPUT_VARIABLE shallow OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(shallow STREQUAL "true")
            set(unknown "built from a shallow clone of ${commit}: its build number is unknown")
        elseif(version_commit MATCHES "^[0-9a-f]+$")
            execute_process(COMMAND "${GIT}" rev-list --count "${version_commit}..HEAD"
                WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE build OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        endif()
        if(NOT build MATCHES "^[0-9]+$")
            set(build 0)
        elseif(build GREATER 65535)
            set(build 65535)
        endif()
        # Untracked files count (they may be sources the build uses); ignored ones (the build
        # tree) do not. No optional locks: a build must not get in the way of a commit.
        execute_process(COMMAND "${GIT}" --no-optional-locks status --porcelain
            WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE changes ERROR_QUIET RESULT_VARIABLE failed)
        if(failed OR NOT changes STREQUAL "")
            set(dirty ON)
        endif()
    endif()
endif()

if(commit STREQUAL "")
    # No git, or a tree without its history (an exported archive): nothing says whether it is a
    # release or holds changes, so it is not given a release's version.
    set(unknown "built without its history: neither its commit nor changes to it are known")
endif()

string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)

set(release "${VERSION}")
if(dirty)
    string(APPEND release "-dirty")
elseif(unknown)
    string(APPEND release "-unknown")
endif()
set(text "${release}")
if(commit)
    string(APPEND text "+${commit}")
endif()
if(NOT epoch)
    set(epoch 0)  # no history: a fixed time rather than the time of building
endif()
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
string(TIMESTAMP year "%Y" UTC)  # the commit's year (SOURCE_DATE_EPOCH)
set(copyright "Copyright (c) ${year} The Kavrel developers. MIT licence.")
if(dirty)
    set(flags "VS_FF_PRIVATEBUILD")
    set(private_build "#define KAVREL_PRIVATE_BUILD \"built with uncommitted changes to ${commit}\"\n")
elseif(unknown)
    set(flags "VS_FF_PRIVATEBUILD")
    set(private_build "#define KAVREL_PRIVATE_BUILD \"${unknown}\"\n")
else()
    set(flags "0")
    set(private_build "")
endif()

set(header "\
// Written by the build (cmake/version_stamp.cmake): the project's version and the commit.
#pragma once
#define KAVREL_VERSION_MAJOR ${major}
#define KAVREL_VERSION_MINOR ${minor}
#define KAVREL_VERSION_PATCH ${patch}
#define KAVREL_VERSION_BUILD ${build}
#define KAVREL_VERSION_TEXT \"${text}\"
#define KAVREL_FILE_FLAGS ${flags}
${private_build}#define KAVREL_COPYRIGHT \"${copyright}\"
")
set(values "\
version=${release}
version_text=${text}
build=${build}
commit=${commit}
dirty=${dirty}
source_date_epoch=${epoch}
")

function(write_if_changed path content)
    if(EXISTS "${path}")
        file(READ "${path}" old)
        if(old STREQUAL content)
            return()
        endif()
    endif()
    file(WRITE "${path}" "${content}")
endfunction()
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
write_if_changed("${OUTPUT_DIR}/kavrel_version.h" "${header}")
write_if_changed("${OUTPUT_DIR}/kavrel_version.txt" "${values}")
