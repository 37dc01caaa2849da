#!/usr/bin/python3
"""Writes the workbook fixtures of the table reader tests.

Run from anywhere: /usr/bin/python3 make_fixtures.py [NAME ...]. Without
names it writes every fixture; with names (file names such as
number_formats.xlsx) only those. Needs python3-openpyxl, python3-xlwt and
LibreOffice (soffice). The outputs are committed so the tests need none of
these.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

import openpyxl
import xlwt
from openpyxl.utils.datetime import CALENDAR_MAC_1904

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name):
    return os.path.join(HERE, name)


def three_sheets_xlsx():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Hareketler"
    ws.append(["Tarih", "Açıklama", "İşlem Tutarı", "Onay"])
    ws.append([datetime.date(2024, 3, 5), "GELEN FAST - Gizem Erkoç - aidat", 1500, True])
    ws.append([datetime.datetime(2024, 3, 6, 23, 59, 59), "  Gönd: SELİN AYDOĞAN  ", 1500.5, False])
    ws.append([None, None, None, None])           # dropped: nothing in it
    ws.append(["", " ", None, None])              # dropped: blank after trimming
    ws.append([None, "BLOKE BAKİYESİ", -417.85, None])
    c = ws.cell(row=7, column=1, value=45357.0)
    c.number_format = "dd.mm.yyyy"
    c = ws.cell(row=7, column=3, value=12340)
    c.number_format = "#,##0.##"                  # a number, not a date
    c = ws.cell(row=7, column=4, value="#N/A")    # stored as an error cell
    ws2 = wb.create_sheet("Özet")
    ws2["B2"] = "ikinci"
    ws2["C2"] = 2
    ws3 = wb.create_sheet("Son")
    ws3["A1"] = "üçüncü"
    wb.save(out("three_sheets.xlsx"))
    return out("three_sheets.xlsx")


def date1904_xlsx():
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws["A1"] = datetime.date(2024, 3, 5)
    ws["B1"] = "1904"
    wb.save(out("date1904.xlsx"))


def exporter_style_xlsx():
    """A workbook shaped like the one a bank's non-Excel exporter writes:
    prefixed elements, no cell addresses, inline "str" strings, no shared
    strings, an unnumbered sheet part, an empty fill and a wrong dimension."""
    ns = 'xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
    rns = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
    rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    parts = {
        "[Content_Types].xml":
            '<?xml version="1.0" encoding="utf-8"?>'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
            '<Override PartName="/xl/worksheets/sheet.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
            '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
            '</Types>',
        "_rels/.rels":
            '<?xml version="1.0" encoding="utf-8"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            f'<Relationship Type="{rel}/officeDocument" Target="/xl/workbook.xml" Id="R1"/>'
            '</Relationships>',
        "xl/_rels/workbook.xml.rels":
            '<?xml version="1.0" encoding="utf-8"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            f'<Relationship Type="{rel}/worksheet" Target="/xl/worksheets/sheet.xml" Id="R2"/>'
            f'<Relationship Type="{rel}/styles" Target="/xl/styles.xml" Id="R3"/>'
            '</Relationships>',
        "xl/workbook.xml":
            f'<?xml version="1.0" encoding="utf-8"?><x:workbook {ns} {rns}>'
            '<x:sheets><x:sheet name="Hesap Hareketleri" sheetId="1" r:id="R2"/></x:sheets></x:workbook>',
        "xl/styles.xml":
            f'<?xml version="1.0" encoding="utf-8"?><x:styleSheet {ns}>'
            '<x:fills count="1"><x:fill/></x:fills>'
            '<x:cellXfs count="1"><x:xf numFmtId="0"/></x:cellXfs></x:styleSheet>',
        "xl/worksheets/sheet.xml":
            f'<?xml version="1.0" encoding="utf-8"?><x:worksheet {ns}>'
            '<x:dimension ref="A1:B2"/><x:sheetData>'
            '<x:row><x:c t="str"><x:v>Sayın AYŞE YILMAZ</x:v></x:c></x:row>'
            '<x:row/>'
            '<x:row><x:c t="str"><x:v>Tarih</x:v></x:c><x:c t="str"><x:v>Fiş No</x:v></x:c>'
            '<x:c t="str"><x:v>Açıklama</x:v></x:c><x:c t="str"><x:v>İşlem Tutarı</x:v></x:c></x:row>'
            '<x:row><x:c t="str"><x:v>14.10.2025</x:v></x:c><x:c t="str"><x:v>F04321</x:v></x:c>'
            '<x:c t="str"><x:v>Gönd: SELİN AYDOĞAN kira 0064-Türkiye İş Bankası A.Ş. FAST işlemi</x:v></x:c>'
            '<x:c><x:v>12340</x:v></x:c></x:row>'
            '<x:row><x:c t="str"><x:v>SATIŞ IADE UYEISYERI:é(5)</x:v></x:c></x:row>'
            '</x:sheetData></x:worksheet>',
    }
    with zipfile.ZipFile(out("exporter_style.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            z.writestr(name, text.encode("utf-8"))


def sheets_xls():
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Hareketler")
    date = xlwt.easyxf(num_format_str="DD/MM/YYYY")
    ws.write(0, 0, "Tarih")
    ws.write(0, 1, "Açıklama")
    ws.write(0, 2, "İşlem Tutarı")
    ws.write(1, 0, datetime.date(2024, 3, 5), date)
    ws.write(1, 1, "GELEN HAVALE -BURCU ERENLER -kira mayıs")
    ws.write(1, 2, 1500)
    ws.write(2, 0, datetime.datetime(2024, 3, 6, 14, 58, 47), xlwt.easyxf(num_format_str="DD/MM/YYYY HH:MM:SS"))
    ws.write(2, 1, "  ığüşöç İĞÜŞÖÇ  ")
    ws.write(2, 2, 1500.5)
    ws.write(4, 2, -417.85)                         # row 4 stays empty
    ws2 = wb.add_sheet("İkinci")
    ws2.write(1, 1, "ikinci sayfa")
    ws3 = wb.add_sheet("Üçüncü")
    ws3.write(0, 0, "üçüncü sayfa")
    wb.save(out("sheets.xls"))


def spreadsheet_ods(source):
    """An OpenDocument spreadsheet: also a ZIP starting with "PK"."""
    with tempfile.TemporaryDirectory() as tmp:
        profile = "file://" + os.path.join(tmp, "profile")
        subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless",
                        "--convert-to", "ods", "--outdir", tmp, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        produced = os.path.join(tmp, os.path.splitext(os.path.basename(source))[0] + ".ods")
        shutil.copyfile(produced, out("spreadsheet.ods"))


def number_formats_xlsx():
    """Amounts and identifiers as numeric cells, each wearing the number format a
    statement exporter gives it: decimal formats (built-in and custom, with
    optional decimals as in "#,##0.##") on money, General, "0", "#,##0", a
    literal, and a scientific format on references and identity numbers."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Hesap Hareketleri"
    ws.append(["Tarih", "Fiş No", "Açıklama", "İşlem Tutarı", "Bakiye", "Referans No"])

    def row(r, values, formats):
        for c, (v, f) in enumerate(zip(values, formats), 1):
            cell = ws.cell(row=r, column=c, value=v)
            if f:
                cell.number_format = f

    row(2, ["14.10.2025", "F04321", "Gönd: SELİN AYDOĞAN kira", 1500, 12340, 123456789012],
        [None, None, None, "#,##0.##", "#,##0.00", None])
    row(3, ["13.10.2025", 7001234, "GELEN FAST - Gizem Erkoç - TCKN 10000000146", -417.85, 10840, 10000000146],
        [None, "0", None, "#,##0.##", "0.00", "General"])
    row(4, ["12.10.2025", 42, "NEMA FON SATIŞ - FİYAT", 2500, 1.304417, 12345678901],
        [None, '"No." 0', None, '#,##0.00 "TL"', "0.00", "0.00E+00"])
    row(5, [datetime.date(2025, 10, 11), "F04322", "GELEN HAVALE -BURCU ERENLER -", 750, 1500.5, 1500],
        ["dd.mm.yyyy", None, None, "[$-41F]#,##0.00;[Red]-#,##0.00", "#,##0.00", "#,##0"])
    wb.save(out("number_formats.xlsx"))


def number_columns_xls():
    """A legacy workbook shaped like a bank's XLS export: amounts and balances
    as numbers in a two-decimal format (whole lira stored as whole numbers,
    which xlwt writes as integer RK records), 12-digit references and an
    identity number as whole numbers; a second sheet whose amount column holds
    only whole numbers."""
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Hesap Hareketleri")
    money = xlwt.easyxf(num_format_str="#,##0.00")
    for c, h in enumerate(["Tarih", "Saat", "Referans No", "Açıklama", "İşlem Tutarı", "Bakiye", "Müşteri No"]):
        ws.write(0, c, h)
    rows = [
        ("01/10/2025", "09:15:02", 123456789012.0, "GELEN FAST - Gizem Erkoç - aidat", 1500.0, 10000.0, 10000000146.0),
        ("02/10/2025", "11:40:51", 123456789013.0, "GİDEN FAST - Kemal Yurtsever", -417.85, 9582.15, None),
        ("03/10/2025", " ", 123456789014.0, "GELEN HAVALE -BURCU ERENLER -kira", 7500, 17082.15, None),
    ]
    for r, values in enumerate(rows, 1):
        for c, v in enumerate(values):
            if v is None:
                continue
            if c in (4, 5):
                ws.write(r, c, v, money)
            else:
                ws.write(r, c, v)
    ws2 = wb.add_sheet("Özet")
    ws2.write(0, 3, "Toplam Alacak")
    ws2.write(0, 4, 9000.0, money)
    wb.save(out("number_columns.xls"))


def main():
    only = set(sys.argv[1:])
    if only:
        writers = {"number_formats.xlsx": number_formats_xlsx, "number_columns.xls": number_columns_xls,
                   "date1904.xlsx": date1904_xlsx, "exporter_style.xlsx": exporter_style_xlsx,
                   "sheets.xls": sheets_xls}
        for name in sorted(only):
            writers[name]()
        return
    source = three_sheets_xlsx()
    date1904_xlsx()
    exporter_style_xlsx()
    sheets_xls()
    spreadsheet_ods(source)
    number_formats_xlsx()
    number_columns_xls()


if __name__ == "__main__":
    main()
