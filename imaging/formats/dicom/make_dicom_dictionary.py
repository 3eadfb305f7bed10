#!/usr/bin/env python3
"""Turns the DICOM data dictionary that dcmtk installs (the standard's tag list as tab-separated
rows) into the reader's table of tag, element and value representation.

    make_dicom_dictionary.py /usr/share/libdcmtk17/dicom.dic > ie_dicom_dictionary.inc

Only single tags are kept: ranges of repeating groups are left out (a tag not in the table is
read as "xs", which takes the representation the file gives). A tag that may have more than one
representation is "xs"; the item and delimitation tags, which have none, are "!!". Rows come out
sorted by tag, the first row of a tag winning, so the reader can search them by halving."""
import re
import sys

# dcmtk's names for the tags whose representation depends on the data.
MULTIPLE = {'xs', 'ox', 'lt', 'px'}
ROW = re.compile(r'^\(([0-9A-Fa-f]{4}),([0-9A-Fa-f]{4})\)$')


def main(path):
    table = {}
    with open(path, encoding='utf-8', errors='replace') as f:
        for line in f:
            if line.startswith('#') or not line.strip():
                continue
            fields = line.rstrip('\n').split('\t')
            if len(fields) < 2:
                continue
            m = ROW.match(fields[0].strip())
            if not m:
                continue
            tag = (int(m.group(1), 16), int(m.group(2), 16))
            vr = fields[1].strip()
            if vr in MULTIPLE:
                vr = 'xs'
            elif vr == 'na':
                vr = '!!'
            elif vr == 'up':
                vr = 'UL'
            elif not re.fullmatch(r'[A-Z]{2}', vr):
                continue
            table.setdefault(tag, vr)
    out = sys.stdout
    out.write('// Made by make_dicom_dictionary.py from dcmtk\'s dicom.dic; do not edit by hand.\n')
    for (g, e), vr in sorted(table.items()):
        out.write('{0x%04X, 0x%04X, "%s"},\n' % (g, e, vr))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '/usr/share/libdcmtk17/dicom.dic')
