#!/usr/bin/env bash
# Writes the small seed inputs of each fuzz target beside this script.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p fuzz_reader fuzz_writer fuzz_po_import fuzz_resource_reader fuzz_resource_rebuild fuzz_xliff_read

bytes() { printf "$(printf '\\%03o' "$@")"; }

# Reader: files of bytes.
bytes 16 32 7 3 171 72 0 105 0 0 0 5 2 171 1 14 10 0 9 10 4 > fuzz_reader/two-strings
bytes 171 > fuzz_reader/marker-only
bytes 171 65 0 > fuzz_reader/marker-first
bytes 1 171 65 0 171 1 2 > fuzz_reader/marker-behind-string
bytes 0 171 171 65 0 > fuzz_reader/marker-behind-empty
bytes 9 4 171 0 0 66 0 92 0 0 1 7 > fuzz_reader/zero-before-text
bytes 5 3 171 1 14 96 14 233 0 25 32 > fuzz_reader/changed-characters
bytes 2 171 65 > fuzz_reader/short-string
: > fuzz_reader/empty

# Writer: one change of the tables a line (see fuzz_writer.cpp).
printf 'a1=Hi\nb0=16 32 7 \nc1=3\nb1=5\n' > fuzz_writer/patch
printf 'n1=Hello\nn2=a\\b\ng0=xyz\ng1=q\nG2=rr\nd1=5\nd2=9\n' > fuzz_writer/numbered
printf 'a1=x\nc1=-3\nb0= 1\nb1=1  2\n' > fuzz_writer/not-numbers
printf 'a1=abc\nc1=2\na2=d\nc2=300\nb2=300 999999999999\n' > fuzz_writer/too-long
printf 'a2=x\na1=y\nc2=1\nc1=1\nc1=7\nA1=z\ne0=longer text\n' > fuzz_writer/out-of-order
printf 'l1=130:q\nc1=130\nl2=5:\xa1\nc2=5\n' > fuzz_writer/caption-too-long
printf 'b0=1 2 3\n' > fuzz_writer/no-strings
# Found by fuzzing: a slot larger than the save stream's buffer.
printf 'a1=abc\nc1=217\na2=d\nc2=3999913\nc\241\n22=59%%99999\n' > fuzz_writer/slot-beyond-buffer

# PO import: a byte of flags (1 --force, 2 --dry-run, 4 a caption file),
# then the PO text.
header='msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n\n'
printf "\0${header}"'msgctxt "1"\nmsgid "Hello"\nmsgstr "Howdy"\n\nmsgctxt "2"\nmsgid "สวั"\nmsgstr "ไก่"\n' > fuzz_po_import/apply
printf "\1${header}"'msgctxt "3"\nmsgid "x"\nmsgstr "a\\nbcd"\n' > fuzz_po_import/force
printf "\0${header}"'msgctxt "5"\nmsgid "ABCD"\nmsgstr "ABCDEFGHIJ"\n' > fuzz_po_import/too-long
printf "\4${header}"'msgctxt "5"\nmsgid "ABCD"\nmsgstr "ABCDEFGHIJ"\n' > fuzz_po_import/caption
printf "\2${header}"'msgctxt "1"\nmsgid "Hello"\nmsgstr "Жx"\n' > fuzz_po_import/no-byte
printf '\0#, fuzzy\nmsgctxt "1"\nmsgid "Hello"\nmsgstr "Hey"\n\nmsgid "free"\nmsgstr "x"\n\nmsgctxt "9"\nmsgid "a"\nmsgstr "b"\n\n#~ msgctxt "4"\n#~ msgid ""\n#~ msgstr "z"\n' > fuzz_po_import/skipped
printf '\0msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=ISO-8859-1\\n"\n\nmsgctxt "1"\nmsgid "Hello"\nmsgstr "\xe9"\n' > fuzz_po_import/latin1
printf '\0msgctxt "1"\nmsgid "Hello\nmsgstr "x"\n' > fuzz_po_import/broken

# SCSU: compressed runs as the compiler writes them (single-byte windows,
# quotes, Unicode mode), the standard's supplementary window, reserved tags,
# and UTF-16LE texts to encode.
mkdir -p fuzz_scsu
printf '\x12\x9f\xc0\xb8\xb2\xb5\xc2\x20\x1c\xfb\xa3\xc5\xc9\xbc' > fuzz_scsu/windows
printf 'Hi \x0e\xd8\x3d\x0e\xde\x00\x21\x20\x0f\x4e\x2d\xf0\xe0\x00\xe0\x61' > fuzz_scsu/quotes-unicode
printf '\x0b\x01\xec\x80\x0f\xf1\x21\xec\x81\xe9\x68\x80' > fuzz_scsu/extended
printf 'a\x0c\x0f\xf2\x1c\x00\xc1' > fuzz_scsu/reserved
printf '\x1f\x04\x35\x04\xb5\x30\xa4\x30\x3d\xd8\x00\xde\x00\xe0\x1b\x00\x41\x00' > fuzz_scsu/utf16-mixed

# Structure reader and rebuild: a compressed file with a compressed run and a
# raw LTEXT, an old file of padded, unpadded and zero-terminated texts, a
# narrow build.
bytes 107 74 31 16 0 0 0 0 0 0 0 0 25 253 72 232 0 12 0 1 0 1 5 5 72 101 108 108 111 2 171 120 0 121 0 20 0 29 0 35 0 > fuzz_resource_reader/compressed-runs
cp fuzz_resource_reader/compressed-runs fuzz_resource_rebuild/compressed-runs
bytes 44 0 9 0 3 171 97 0 98 0 99 0 1 5 72 0 101 0 108 0 108 0 111 0 255 255 16 0 0 0 76 0 101 0 103 0 97 0 99 0 121 0 0 0 4 0 12 0 26 0 44 0 > fuzz_resource_reader/old-texts
cp fuzz_resource_reader/old-texts fuzz_resource_rebuild/old-texts
bytes 107 74 31 16 0 0 0 0 0 0 0 0 25 253 72 232 0 12 0 0 5 84 111 114 99 104 5 84 111 114 99 104 20 0 32 0 > fuzz_resource_reader/narrow
cp fuzz_resource_reader/narrow fuzz_resource_rebuild/narrow
# An 8-bit TEXT: its terminator is one byte.
bytes 107 74 31 16 0 0 0 0 0 0 0 0 25 253 72 232 0 12 0 0 0 64 0 0 0 104 46 111 40 84 99 0 20 0 32 0 > fuzz_resource_reader/narrow-text
cp fuzz_resource_reader/narrow-text fuzz_resource_rebuild/narrow-text

# XLIFF import: what export writes, and what CAT tools add.
printf '<?xml version="1.0" encoding="UTF-8"?>\n<xliff version="1.2" xmlns="urn:oasis:names:tc:xliff:document:1.2">\n<file original="a.rsc" source-language="en" datatype="plaintext"><body>\n<trans-unit id="1.1" maxwidth="255" size-unit="char"><source xml:space="preserve"> a&#13;\nb<ph id="1" ctype="x-tavolin-char">U+001F</ph></source><target xml:space="preserve"/><note from="developer">LTEXT</note></trans-unit>\n</body></file></xliff>\n' > fuzz_xliff_read/export
printf '<xliff version="1.2"><file original="b"><body><group><trans-unit id="2"><source>&lt;x&gt;</source><target state="translated">y<mrk mtype="seg"><g id="1">z</g></mrk><![CDATA[&]]></target></trans-unit></group></body></file></xliff>' > fuzz_xliff_read/cat-tool
