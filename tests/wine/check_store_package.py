#!/usr/bin/env python3
"""Checks, with python's zipfile, the package and backup that tests/wine/store_test.cpp left
in DIR: entry names and their order, methods, exact file bytes, the extra folder kept.
Prints one "ok ..." or "FAIL ..." line per check."""
import sys
import zipfile

ELEMENT = '[count=2]\n**://ads.example/*\n广告规则块'.encode('utf-8') + b'\0'
CSS = b'[count=2]\n**://*##.banner\nmy##hide\0'
WHITE = b'[count=2]\n@@||ok.example^\n**://white.example/*\n\0'
OLD_WHITE = b'[count=1]\n@@old-white\n\0'
EXTRA = {'extra/note.txt': (b'kept as it was', zipfile.ZIP_DEFLATED),
         'extra/keep.gz': (b'stored, not deflated', zipfile.ZIP_STORED)}

failures = 0


def check(ok, what):
    global failures
    print(('ok ' if ok else 'FAIL ') + what)
    failures += 0 if ok else 1


def check_package(path, label, white):
    try:
        archive = zipfile.ZipFile(path)
    except Exception as e:  # a missing or unreadable package
        check(False, '%s opens: %s' % (label, e))
        return
    with archive:
        check(archive.testzip() is None, label + ': every CRC matches')
        infos = archive.infolist()
        names = [i.filename for i in infos]
        root_files = ['__user__css__', '__user__element__', '__user__white__']
        check(len(names) == 6 and sorted(names[:3]) == root_files and names[3] == 'extra/' and
              sorted(names[4:]) == sorted(EXTRA), label + ': entries ' + repr(names))
        expected = {'__user__element__': (ELEMENT, zipfile.ZIP_DEFLATED),
                    '__user__css__': (CSS, zipfile.ZIP_DEFLATED),
                    '__user__white__': (white, zipfile.ZIP_DEFLATED)}
        expected.update(EXTRA)
        for name, (data, method) in expected.items():
            if name not in names:
                continue
            info = archive.getinfo(name)
            check(archive.read(name) == data, '%s: %s bytes' % (label, name))
            check(info.compress_type == method, '%s: %s method %d' % (label, name, info.compress_type))
        if 'extra/' in names:
            folder = archive.getinfo('extra/')
            check(folder.is_dir() and folder.file_size == 0 and folder.compress_type == zipfile.ZIP_STORED,
                  label + ': extra/ is a stored folder entry')


directory = sys.argv[1]
check_package(directory + '/ContentListPackage', 'package', WHITE)
check_package(directory + '/ContentListPackage.Backup', 'backup', OLD_WHITE)
sys.exit(1 if failures else 0)
