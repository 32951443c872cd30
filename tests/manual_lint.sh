#!/bin/sh
# Fails when groff has anything to say about a manual page.
# Usage: manual_lint.sh PAGE
warnings=$(groff -man -ww -z "$1" 2>&1)
if [ -n "$warnings" ]; then
    echo "$warnings"
    exit 1
fi
echo "$1: no warnings"
