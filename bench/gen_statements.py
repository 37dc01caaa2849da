#!/usr/bin/python3
"""Writes large account statements for bench_statements: N rows each as XLSX, XLS, delimited
text, HTML and PDF, in a common Turkish bank layout (date, time, description, amount, balance).

    /usr/bin/python3 bench/gen_statements.py OUTDIR 1000 10000

Names, identity numbers and the name pools come from the example statements' generator, so the
rows read like the examples; a fixed seed keeps the files the same from run to run.
"""

import datetime as dt
import html
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "statements"))
import generate as ex  # noqa: E402

rng = random.Random(5005)
HEADER = ["Tarih", "Saat", "Açıklama", "Tutar", "Bakiye", "Dekont No"]
NOTES = ["çeyrek altın", "yarım altın", "tam altın", "bilezik", "22 ayar kolye", "gram altın", "künye", ""]
OUTGOING = ["KREDİ KARTI ÖDEMESİ", "FATURA ÖDEME İGDAŞ", "POS HARCAMA MİGROS", "EFT GİDEN KİRA ÖDEMESİ",
            "HAVALE KOMİSYONU", "BSMV"]


def person():
    pool = ex.FIRST_M if rng.random() < 0.5 else ex.FIRST_F
    return rng.choice(pool) + " " + rng.choice(ex.SURNAMES)


def company():
    return "%s %s %s" % (rng.choice(ex.CO_HEADS), rng.choice(ex.CO_TRADES), rng.choice(ex.CO_SUFFIX))


def rows(n):
    """(date, time, description, amount, balance, receipt) with amounts in kuruş."""
    day = dt.date(2025, 1, 2)
    balance = 25000000
    out = []
    for i in range(n):
        if i and i % 40 == 0:
            day += dt.timedelta(days=1)
        kind = rng.random()
        if kind < 0.55:
            amount = rng.randint(20, 900) * 1000 + rng.choice([0, 0, 50, 1234])
            desc = "FAST GELEN %s TCKN %s %s" % (person(), ex.tckn(), rng.choice(NOTES))
        elif kind < 0.7:
            amount = rng.randint(100, 5000) * 1000
            desc = "EFT GELEN %s VKN %s FATURA BEDELİ" % (company(), ex.vkn())
        else:
            amount = -rng.randint(100, 300000)
            desc = rng.choice(OUTGOING)
        balance += amount
        out.append((day, "%02d:%02d" % (rng.randint(8, 19), rng.randint(0, 59)), desc, amount, balance,
                    str(rng.randint(10 ** 9, 10 ** 10 - 1))))
    return out


def tr_amount(k):
    sign = "-" if k < 0 else ""
    lira, kurus = divmod(abs(k), 100)
    return "%s%s,%02d" % (sign, "{:,}".format(lira).replace(",", "."), kurus)


def text_row(r):
    return [r[0].strftime("%d.%m.%Y"), r[1], r[2], tr_amount(r[3]), tr_amount(r[4]), r[5]]


def write_xlsx(path, data):
    from openpyxl import Workbook
    wb = Workbook(write_only=True)
    ws = wb.create_sheet("Hesap Hareketleri")
    ws.append(["Hesap Hareketleri"])
    ws.append(["IBAN", "TR12 0001 0000 0000 1234 5678 01"])
    ws.append(HEADER)
    for r in data:
        ws.append([r[0], r[1], r[2], r[3] / 100, r[4] / 100, r[5]])
    wb.save(path)


def write_xls(path, data):
    import xlwt
    wb = xlwt.Workbook(encoding="utf-8")
    ws = wb.add_sheet("Hesap Hareketleri")
    date_style = xlwt.easyxf(num_format_str="DD.MM.YYYY")
    money = xlwt.easyxf(num_format_str="#,##0.00")
    ws.write(0, 0, "Hesap Hareketleri")
    for c, h in enumerate(HEADER):
        ws.write(2, c, h)
    for i, r in enumerate(data, start=3):
        ws.write(i, 0, r[0], date_style)
        ws.write(i, 1, r[1])
        ws.write(i, 2, r[2])
        ws.write(i, 3, r[3] / 100, money)
        ws.write(i, 4, r[4] / 100, money)
        ws.write(i, 5, r[5])
    wb.save(path)


def write_txt(path, data):
    with open(path, "w", encoding="cp1254", newline="\r\n") as f:
        f.write("Hesap Hareketleri\n\n" + ";".join(HEADER) + "\n")
        for r in data:
            f.write(";".join(text_row(r)) + "\n")


def write_html(path, data):
    with open(path, "w", encoding="utf-8") as f:
        f.write("<html><head><meta charset=\"utf-8\"><title>Hesap Hareketleri</title></head><body>\n"
                "<h3>Hesap Hareketleri</h3>\n<table border=\"1\">\n<tr>"
                + "".join("<th>%s</th>" % h for h in HEADER) + "</tr>\n")
        for r in data:
            f.write("<tr>" + "".join("<td>%s</td>" % html.escape(c) for c in text_row(r)) + "</tr>\n")
        f.write("</table></body></html>\n")


def write_pdf(path, data):
    from reportlab.lib.pagesizes import A4, landscape
    from reportlab.pdfbase import pdfmetrics
    from reportlab.pdfbase.ttfonts import TTFont
    from reportlab.pdfgen import canvas
    pdfmetrics.registerFont(TTFont("DejaVu", ex.FONT))
    size = landscape(A4)
    c = canvas.Canvas(path, pagesize=size, invariant=1, pageCompression=1)
    columns = [30, 95, 135, 560, 650, 740]
    per_page = 42
    for start in range(0, len(data), per_page):
        c.setFont("DejaVu", 7)
        y = size[1] - 40
        c.drawString(30, y, "HESAP HAREKETLERİ  Sayfa %d" % (start // per_page + 1))
        y -= 16
        for x, h in zip(columns, HEADER):
            c.drawString(x, y, h)
        for r in data[start:start + per_page]:
            y -= 12
            for k, (x, cell) in enumerate(zip(columns, text_row(r))):
                if k in (3, 4):
                    c.drawRightString(x + 70, y, cell)
                else:
                    c.drawString(x, y, cell)
        c.showPage()
    c.save()


WRITERS = {"xlsx": write_xlsx, "xls": write_xls, "txt": write_txt, "html": write_html, "pdf": write_pdf}


def main():
    outdir, counts = sys.argv[1], [int(a) for a in sys.argv[2:]] or [1000, 10000]
    os.makedirs(outdir, exist_ok=True)
    for n in counts:
        data = rows(n)
        for ext, write in WRITERS.items():
            target = os.path.join(outdir, "statement_%d.%s" % (n, ext))
            if not os.path.exists(target):
                write(target + ".part", data)
                os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
