#!/usr/bin/env python3
"""Writes the small PDF fixtures of the statement reader tests (stdlib only).

Each page is a list of text lines drawn top-down in Helvetica with WinAnsi
encoding, the way bank exporters lay out statement tables."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def pdf(pages, encrypt=False):
    objects = []

    def add(body):
        objects.append(body)
        return len(objects)

    font = add(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    pages_id = len(objects) + 1 + 2 * len(pages)
    kids = []
    for lines in pages:
        stream = [b"BT /F1 9 Tf 12 TL 40 800 Td"]
        for line in lines:
            text = line.encode("cp1252", "replace").replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)")
            stream.append(b"(" + text + b") Tj T*")
        stream.append(b"ET")
        data = b"\n".join(stream)
        content = add(b"<< /Length %d >>\nstream\n" % len(data) + data + b"\nendstream")
        kids.append(add(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 595 842] "
                        b"/Resources << /Font << /F1 %d 0 R >> >> /Contents %d 0 R >>" % (pages_id, font, content)))
    add(b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % k for k in kids) + b"] /Count %d >>" % len(kids))
    catalog = add(b"<< /Type /Catalog /Pages %d 0 R >>" % pages_id)

    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    trailer = b"<< /Size %d /Root %d 0 R" % (len(objects) + 1, catalog)
    if encrypt:
        # A standard security handler entry without the keys to open it.
        trailer += b" /Encrypt << /Filter /Standard /V 1 /R 2 /O <00> /U <00> /P -4 >>"
    out += b"trailer\n" + trailer + b" >>\nstartxref\n%d\n%%%%EOF\n" % xref
    return bytes(out)


STATEMENT = [
    [
        "HESAP HAREKETLERI",
        "Musteri No: 12345678   Donem: 01.03.2024 - 31.03.2024",
        "Rapor Tarihi:",
        "01.04.2024",
        "Tarih Aciklama Tutar Bakiye",
        "05.03.2024 GELEN FAST - AHMET YILMAZ - siparis 1.500,00 12.345,67",
        "2024-03-06 GELEN EFT - AYSE DEMIR - 2.750,50 15.096,17",
    ],
    [
        "Sayfa 2",
        "07.03.2024 GELEN HAVALE - MEHMET KAYA",
        "  bilezik bedeli 10.000,00 25.096,17",
    ],
]


def main():
    files = {
        "statement.pdf": pdf(STATEMENT),
        "encrypted.pdf": pdf(STATEMENT, encrypt=True),
    }
    for name, data in files.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
