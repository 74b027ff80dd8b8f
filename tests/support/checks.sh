# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# The verdicts of the end-to-end test scripts, sourced by each: every check prints
# "ok   WHAT" or "FAIL WHAT", and the script ends with `exit $failed`.
failed=0

result() {  # what status: 0 passed
    if [ "$2" = 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi
}

same() {  # what expected actual: the two files are equal byte for byte
    if cmp -s "$2" "$3"; then
        echo "ok   $1"
    else
        echo "FAIL $1: $(cmp "$2" "$3" 2>&1 | head -n 1)"
        failed=1
    fi
}
