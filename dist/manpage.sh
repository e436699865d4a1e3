#!/bin/sh
# Makes the manual page tallimo.1 from what `tallimo --help` and
# `tallimo --version` print, so the page and the help never disagree.
#
#   manpage.sh PROGRAM OUT.1 SUMMARY
#
# The help text's layout is what this reads: the usage line first, then the
# description; a line ending in "：" at the margin starts a section; an entry
# is indented by two blanks, its text by six, and its last line is "例：" and
# the example. Every line of text stays a line of its own on the page: the
# formatter cannot break Chinese text where the help already did.
set -eu
program=$1
out=$2
summary=$3

version=$("$program" --version | head -n 1)
"$program" --help | awk -v version="$version" -v summary="$summary" '
function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    if (s ~ /^[.\047]/)
        s = "\\&" s
    return s
}
BEGIN {
    print ".TH TALLIMO 1 \"\" \"" version "\" \"用户命令\""
    print ".nh"
    print ".ad l"
    print ".SH 名称"
    print "tallimo \\- " summary
}
NR == 1 {
    sub(/^用法：/, "")
    print ".SH 概述"
    print ".B " esc($1)
    $1 = ""
    sub(/^ +/, "")
    print esc($0)
    print ".SH 描述"
    para = 0
    next
}
/^$/ { if (!section && text) para = 1; next }
/^[^ ].*：$/ {
    sub(/：$/, "")
    print ".SH " $0
    section = 1
    next
}
/^      例：/ {
    sub(/^ +例：/, "")
    print "例：\\fB" esc($0) "\\fR"
    next
}
/^      / {
    sub(/^ +/, "")
    print esc($0)
    print ".br"
    next
}
/^  / {
    sub(/^ +/, "")
    print ".TP"
    print ".B " esc($0)
    next
}
{
    if (para)
        print ".PP"
    para = 0
    text = 1
    print esc($0)
    print ".br"
}
' >"$out"
