#!/usr/bin/env bash
# Writes a small resource file with Latin and Thai strings to $1: a few gap
# bytes, then strings as the editor finds them (length byte, 0xAB, UTF-16LE).
set -euo pipefail
out=${1:?usage: make-example.sh OUT}

# string CAPACITY CODEPOINT... : a slot of CAPACITY characters, padded with U+0000
string() {
    local capacity=$1; shift
    printf "\\x$(printf %02x "$capacity")\\xab"
    local n=0
    for cp in "$@"; do
        printf "\\x$(printf %02x $((cp & 255)))\\x$(printf %02x $((cp >> 8)))"
        n=$((n + 1))
    done
    while [ $n -lt "$capacity" ]; do printf '\x00\x00'; n=$((n + 1)); done
}
ascii() { local s=$1 i; for ((i = 0; i < ${#s}; i++)); do printf '%d ' "'${s:i:1}"; done; }

{
    printf '\x6b\x4a\x1f\x10\x00\x00\x00\x00'
    string 12 $(ascii "Hello")
    printf '\x04\x00'
    # สวัสดี (hello)
    string 10 0x0E2A 0x0E27 0x0E31 0x0E2A 0x0E14 0x0E35
    printf '\x00'
    # ภาษาไทย (Thai language)
    string 12 0x0E20 0x0E32 0x0E29 0x0E32 0x0E44 0x0E17 0x0E22
    printf '\x02\x00'
    string 20 $(ascii "Open file")
    string 8 $(ascii "Save")
    printf '\x07'
    string 16 $(ascii "Line 1") 10 $(ascii "Line 2")
    # ขอบคุณ (thank you)
    string 6 0x0E02 0x0E2D 0x0E1A 0x0E04 0x0E38 0x0E13
    printf '\x00\x03\x00\x08\x00'
} > "$out"
