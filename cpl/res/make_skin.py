#!/usr/bin/env python3
"""Draws the control panel's skin from the layout table.

Reads the rows of cpl/skin/skin_layout.inc, writes one SVG per image and
renders them with rsvg-convert, then converts them to the bitmaps the
resource script embeds (ImageMagick). The same input always gives the same
bytes.

    make_skin.py --layout skin_layout.inc --out DIR [--png-only]

Outputs in DIR: skin_normal.bmp, skin_highlight.bmp, skin_pressed.bmp,
skin_disabled.bmp (301 x 641, 32 bits), skin_background.bmp (301 x 641,
32 bits), skin_mask.bmp (299 x 640, 24 bits), thumb_normal.bmp,
thumb_active.bmp, thumb_disabled.bmp (8 x 16, 24 bits), app.ico; and the
PNG renderings beside them.
"""

import argparse
import os
import re
import subprocess
import sys

WINDOW_W, WINDOW_H = 299, 640        # the window, the mask
IMAGE_W, IMAGE_H = 301, 641          # the whole-window images
THUMB_W, THUMB_H = 8, 16
CORNER = 14
FONT = "DejaVu Sans"
FONT_CONDENSED = "DejaVu Sans Condensed"

LOOKS = ("normal", "highlight", "pressed", "disabled", "background")


# ---------------------------------------------------------------- the table

def parse_layout(path):
    """Rows of the three tables as dictionaries, in table order."""
    buttons, labels, sliders = [], [], []
    arg = r'\s*("(?:[^"\\]|\\.)*"|-?(?:0x)?[0-9A-Fa-f]+)\s*'
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r'\s*(SKIN_BUTTON|SKIN_LABEL|SKIN_SLIDER)\((.*)\)\s*$', line)
            if not m:
                continue
            values = [v.strip() for v in re.findall(arg + r'(?:,|$)', m.group(2))]
            values = [v[1:-1] if v.startswith('"') else int(v, 0) for v in values]
            kind = m.group(1)
            if kind == "SKIN_BUTTON":
                keys = ("name", "mask", "x", "y", "w", "h", "caption", "latching")
                buttons.append(dict(zip(keys, values, strict=True)))
            elif kind == "SKIN_LABEL":
                keys = ("name", "mask", "face", "bold", "upright", "size", "colour",
                        "x", "y", "w", "h", "text")
                labels.append(dict(zip(keys, values, strict=True)))
            else:
                keys = ("name", "mask", "tn", "ta", "td", "x", "y", "w", "h",
                        "horizontal", "position")
                sliders.append(dict(zip(keys, values, strict=True)))
    return buttons, labels, sliders


def esc(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


# ------------------------------------------------------------- the panel

def defs():
    return f"""
  <defs>
    <linearGradient id="panel" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#3b3f44"/>
      <stop offset="0.5" stop-color="#2b2e32"/>
      <stop offset="1" stop-color="#1f2125"/>
    </linearGradient>
    <linearGradient id="sheen" x1="0" y1="0" x2="1" y2="1">
      <stop offset="0" stop-color="#ffffff" stop-opacity="0.10"/>
      <stop offset="0.45" stop-color="#ffffff" stop-opacity="0.0"/>
      <stop offset="0.55" stop-color="#ffffff" stop-opacity="0.05"/>
      <stop offset="1" stop-color="#000000" stop-opacity="0.10"/>
    </linearGradient>
    <filter id="brushed" x="0" y="0" width="100%" height="100%">
      <feTurbulence type="fractalNoise" baseFrequency="0.003 0.85" numOctaves="3" seed="7"/>
      <feColorMatrix type="matrix" values="0 0 0 0 1  0 0 0 0 1  0 0 0 0 1  0.45 0.45 0.45 0 -0.62"/>
    </filter>
    <linearGradient id="plate" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#16181b"/>
      <stop offset="1" stop-color="#202327"/>
    </linearGradient>
    <linearGradient id="lcd" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#b9c4ae"/>
      <stop offset="1" stop-color="#d9e2cf"/>
    </linearGradient>
    <linearGradient id="key_normal" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#4a5057"/>
      <stop offset="1" stop-color="#262a2f"/>
    </linearGradient>
    <linearGradient id="key_highlight" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#5d6670"/>
      <stop offset="1" stop-color="#323840"/>
    </linearGradient>
    <linearGradient id="key_pressed" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#ffd37a"/>
      <stop offset="0.55" stop-color="#ffab2e"/>
      <stop offset="1" stop-color="#e07a10"/>
    </linearGradient>
    <linearGradient id="key_disabled" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#2f3236"/>
      <stop offset="1" stop-color="#272a2d"/>
    </linearGradient>
    <radialGradient id="round_normal" cx="0.4" cy="0.35" r="0.7">
      <stop offset="0" stop-color="#5a6168"/>
      <stop offset="1" stop-color="#23272b"/>
    </radialGradient>
    <radialGradient id="round_highlight" cx="0.4" cy="0.35" r="0.7">
      <stop offset="0" stop-color="#707a84"/>
      <stop offset="1" stop-color="#2c3237"/>
    </radialGradient>
    <radialGradient id="round_pressed" cx="0.5" cy="0.45" r="0.6">
      <stop offset="0" stop-color="#ffe2a0"/>
      <stop offset="0.6" stop-color="#ffab2e"/>
      <stop offset="1" stop-color="#c96a0c"/>
    </radialGradient>
    <radialGradient id="round_disabled" cx="0.4" cy="0.35" r="0.7">
      <stop offset="0" stop-color="#34373b"/>
      <stop offset="1" stop-color="#26292c"/>
    </radialGradient>
    <linearGradient id="groove" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#08090a"/>
      <stop offset="1" stop-color="#2e3237"/>
    </linearGradient>
  </defs>"""


def panel():
    """The window without any control: brushed metal, plates, headings,
    display wells for the labels."""
    out = []
    # Outside the window shape the region cuts everything away; dark keeps
    # the anti-aliased rim dark.
    out.append(f'<rect width="{IMAGE_W}" height="{IMAGE_H}" fill="#111214"/>')
    shape = f'x="0.5" y="0.5" width="{WINDOW_W - 1}" height="{WINDOW_H - 1}" rx="{CORNER}"'
    out.append(f'<rect {shape} fill="url(#panel)"/>')
    out.append(f'<rect {shape} filter="url(#brushed)" opacity="1"/>')
    out.append(f'<rect {shape} fill="url(#sheen)"/>')
    out.append(f'<rect {shape} fill="none" stroke="#000000" stroke-width="1"/>')
    out.append(f'<rect x="1.5" y="1.5" width="{WINDOW_W - 3}" height="{WINDOW_H - 3}" rx="{CORNER - 1}" '
               'fill="none" stroke="#ffffff" stroke-opacity="0.22" stroke-width="1"/>')

    # Title strip.
    out.append(f'<text x="16" y="21" font-family="{FONT}" font-weight="bold" font-size="12" '
               'letter-spacing="1.5" fill="#e3e7ec">VELTRANO<tspan fill="#ffab2e">·</tspan>HD</text>')
    out.append(f'<text x="146" y="21" font-family="{FONT}" font-size="9" fill="#8d959e">'
               'Audio Control Panel</text>')

    def plate(x, y, w, h, title, title_x=None):
        out.append(f'<rect x="{x + 0.5}" y="{y + 0.5}" width="{w - 1}" height="{h - 1}" rx="6" '
                   'fill="url(#plate)" fill-opacity="0.72" stroke="#000000" stroke-opacity="0.8"/>')
        out.append(f'<line x1="{x + 6}" y1="{y + h - 0.5}" x2="{x + w - 6}" y2="{y + h - 0.5}" '
                   'stroke="#ffffff" stroke-opacity="0.12"/>')
        tx = title_x if title_x is not None else x + 8
        out.append(f'<text x="{tx}" y="{y + 12}" font-family="{FONT}" font-weight="bold" font-size="9" '
                   f'letter-spacing="2" fill="#ffb347">{esc(title)}</text>')
        return out

    plate(4, 34, 147, 298, "PLAYBACK")
    plate(150, 34, 145, 298, "RECORD")
    plate(4, 384, 291, 161, "ASIO")
    plate(4, 547, 291, 90, "REMOTE")

    # The band between the sections carries the maker's badge.
    out.append(f'<text x="{WINDOW_W / 2}" y="362" text-anchor="middle" font-family="{FONT}" '
               'font-weight="bold" font-size="20" letter-spacing="4" fill="#000000" fill-opacity="0.55">'
               'VELTRANO HD</text>')
    out.append(f'<text x="{WINDOW_W / 2}" y="361" text-anchor="middle" font-family="{FONT}" '
               'font-weight="bold" font-size="20" letter-spacing="4" fill="#c3c9d0">VELTRANO HD</text>')
    out.append(f'<text x="{WINDOW_W / 2}" y="376" text-anchor="middle" font-family="{FONT}" '
               'font-size="7.5" letter-spacing="2.5" fill="#8d959e">HIGH RESOLUTION USB DAC</text>')

    # Small captions next to the controls they explain.
    def caption(x, y, text, anchor="start"):
        out.append(f'<text x="{x}" y="{y}" text-anchor="{anchor}" font-family="{FONT}" font-weight="bold" '
                   f'font-size="7.5" letter-spacing="1" fill="#9aa3ad">{esc(text)}</text>')

    caption(14, 447, "BIT DEPTH")
    caption(14, 470, "BUFFER SIZE")
    caption(14, 571, "LOCAL IP")
    caption(14, 603, "REMOTE IP")
    return out


def wells(labels):
    """Display windows behind the labels: their red and blue texts need a
    light ground. Labels sharing one rectangle share one well."""
    out, seen = [], set()
    for row in labels:
        key = (row["x"], row["y"], row["w"], row["h"])
        if key in seen:
            continue
        seen.add(key)
        x, y, w, h = key
        out.append(f'<rect x="{x - 1.5}" y="{y - 1.5}" width="{w + 3}" height="{h + 3}" rx="3.5" '
                   'fill="#000000" fill-opacity="0.6"/>')
        out.append(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="2" fill="url(#lcd)"/>')
        out.append(f'<line x1="{x + 2}" y1="{y + 0.5}" x2="{x + w - 2}" y2="{y + 0.5}" stroke="#000000" '
                   'stroke-opacity="0.25"/>')
    return out


# ------------------------------------------------------------ the controls

TEXT_COLOURS = {"normal": "#d4d9df", "highlight": "#ffffff", "pressed": "#2a1500", "disabled": "#5d6269"}
RIM_COLOURS = {"normal": "#0b0c0e", "highlight": "#7cc4ff", "pressed": "#ffe3a8", "disabled": "#1a1c1e"}


def caption_size(row):
    h, w, text = row["h"], row["w"], row["caption"]
    size = 11 if h >= 24 else 8.5
    # Narrow keys: shrink until the caption fits with a little margin.
    while size > 6.5 and len(text) * size * 0.62 > w - 6:
        size -= 0.5
    return size


def key(row, look):
    """A rectangular key filling the row's rectangle."""
    x, y, w, h = row["x"], row["y"], row["w"], row["h"]
    r = min(h / 2 - 1, 5)
    out = [f'<rect x="{x + 0.5}" y="{y + 0.5}" width="{w - 1}" height="{h - 1}" rx="{r}" '
           f'fill="url(#key_{look})" stroke="{RIM_COLOURS[look]}" stroke-width="1"/>']
    if look in ("normal", "highlight"):
        out.append(f'<line x1="{x + r}" y1="{y + 1.5}" x2="{x + w - r}" y2="{y + 1.5}" stroke="#ffffff" '
                   'stroke-opacity="0.22"/>')
    if look == "pressed":
        out.append(f'<rect x="{x + 1.5}" y="{y + 1.5}" width="{w - 3}" height="{h - 3}" rx="{max(r - 1, 0)}" '
                   'fill="none" stroke="#fff4d6" stroke-opacity="0.55"/>')
    if look == "highlight":
        out.append(f'<rect x="{x + 1.5}" y="{y + 1.5}" width="{w - 3}" height="{h - 3}" rx="{max(r - 1, 0)}" '
                   'fill="none" stroke="#7cc4ff" stroke-opacity="0.35"/>')
    size = caption_size(row)
    family = FONT_CONDENSED if len(row["caption"]) > 6 else FONT
    ty = y + h / 2 + size * 0.36
    out.append(f'<text x="{x + w / 2}" y="{ty:.2f}" text-anchor="middle" font-family="{family}" '
               f'font-weight="bold" font-size="{size}" fill="{TEXT_COLOURS[look]}">{esc(row["caption"])}</text>')
    return out


def round_button(row, look, symbol):
    """The round mute, gang and hide buttons."""
    x, y, w, h = row["x"], row["y"], row["w"], row["h"]
    cx, cy, r = x + w / 2, y + h / 2, min(w, h) / 2 - 1
    ink = TEXT_COLOURS[look]
    out = [f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="#000000" fill-opacity="0.5"/>',
           f'<circle cx="{cx}" cy="{cy}" r="{r - 1}" fill="url(#round_{look})" stroke="{RIM_COLOURS[look]}"/>']
    if symbol == "hide":
        out.append(f'<line x1="{cx - 4.5}" y1="{cy + 0.5}" x2="{cx + 4.5}" y2="{cy + 0.5}" stroke="{ink}" '
                   'stroke-width="2" stroke-linecap="round"/>')
        return out
    s = r / 22.0
    if symbol == "mute":
        # A loudspeaker with a cross.
        out.append(f'<path d="M{cx - 11 * s},{cy - 9 * s} h{5 * s} l{6 * s},{-6 * s} v{18 * s} '
                   f'l{-6 * s},{-6 * s} h{-5 * s} z" fill="{ink}"/>')
        out.append(f'<path d="M{cx + 3 * s},{cy - 9 * s} l{8 * s},{8 * s} M{cx + 11 * s},{cy - 9 * s} '
                   f'l{-8 * s},{8 * s}" stroke="{ink}" stroke-width="{2.2 * s}" stroke-linecap="round"/>')
        label = "MUTE"
    else:
        # Two linked rings: left and right move together.
        out.append(f'<ellipse cx="{cx - 4.5 * s}" cy="{cy - 4 * s}" rx="{7 * s}" ry="{4.5 * s}" fill="none" '
                   f'stroke="{ink}" stroke-width="{2.4 * s}"/>')
        out.append(f'<ellipse cx="{cx + 4.5 * s}" cy="{cy - 4 * s}" rx="{7 * s}" ry="{4.5 * s}" fill="none" '
                   f'stroke="{ink}" stroke-width="{2.4 * s}"/>')
        label = "GANG"
    out.append(f'<text x="{cx}" y="{cy + 13 * s}" text-anchor="middle" font-family="{FONT}" '
               f'font-weight="bold" font-size="7.5" letter-spacing="0.5" fill="{ink}">{label}</text>')
    return out


def control(row, look):
    name = row["name"]
    if name == "BTN_HIDE":
        return round_button(row, look, "hide")
    if name.endswith("_MUTE"):
        return round_button(row, look, "mute")
    if name.endswith("_VOL_GANG"):
        return round_button(row, look, "gang")
    return key(row, look)


def slider_track(row, look):
    x, y, w, h = row["x"], row["y"], row["w"], row["h"]
    cy = y + 8  # the thumb image (16 high) sits at the top of the control
    out = [f'<rect x="{x + 2.5}" y="{cy - 2.5}" width="{w - 5}" height="5" rx="2.5" fill="url(#groove)" '
           'stroke="#000000" stroke-opacity="0.7"/>']
    lit = "#5d6269" if look == "disabled" else "#ffab2e"
    out.append(f'<line x1="{x + 5}" y1="{cy}" x2="{x + w - 5}" y2="{cy}" stroke="{lit}" '
               'stroke-opacity="0.35" stroke-width="1"/>')
    for i in range(11):
        tx = x + 6 + i * (w - 12) / 10
        out.append(f'<line x1="{tx:.2f}" y1="{y + 14}" x2="{tx:.2f}" y2="{y + 17}" stroke="#9aa3ad" '
                   f'stroke-opacity="{0.25 if look == "disabled" else 0.55}"/>')
    return out


def window_svg(look, buttons, labels, sliders):
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{IMAGE_W}" height="{IMAGE_H}" '
             f'viewBox="0 0 {IMAGE_W} {IMAGE_H}">', defs()]
    parts += panel()
    parts += wells(labels)
    if look != "background":
        for row in sliders:
            parts += slider_track(row, look)
        for row in buttons:
            parts += control(row, look)
    parts.append("</svg>")
    return "\n".join(parts)


def mask_svg():
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{WINDOW_W}" height="{WINDOW_H}">'
            f'<rect width="{WINDOW_W}" height="{WINDOW_H}" fill="#ffffff"/>'
            f'<rect width="{WINDOW_W}" height="{WINDOW_H}" rx="{CORNER}" fill="#000000" '
            'shape-rendering="crispEdges"/></svg>')


def thumb_svg(look):
    face = {"normal": ("#f1f3f5", "#8f979f"), "active": ("#ffe2a0", "#e07a10"),
            "disabled": ("#55595e", "#3a3d41")}[look]
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{THUMB_W}" height="{THUMB_H}">'
            '<defs><linearGradient id="t" x1="0" y1="0" x2="1" y2="0">'
            f'<stop offset="0" stop-color="{face[0]}"/><stop offset="1" stop-color="{face[1]}"/>'
            '</linearGradient></defs>'
            f'<rect width="{THUMB_W}" height="{THUMB_H}" fill="#1b1d20"/>'
            f'<rect x="0.5" y="0.5" width="{THUMB_W - 1}" height="{THUMB_H - 1}" rx="1.5" fill="url(#t)" '
            'stroke="#000000"/>'
            f'<line x1="4" y1="4" x2="4" y2="12" stroke="#000000" stroke-opacity="0.45"/></svg>')


def icon_svg():
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">'
            '<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#4a5057"/><stop offset="1" stop-color="#1f2125"/>'
            '</linearGradient></defs>'
            '<rect x="1" y="1" width="46" height="46" rx="9" fill="url(#g)" stroke="#000"/>'
            '<path d="M11,13 L24,37 L37,13" fill="none" stroke="#ffab2e" stroke-width="6" '
            'stroke-linecap="round" stroke-linejoin="round"/></svg>')


# ---------------------------------------------------------------- output

def run(*args):
    subprocess.run(args, check=True)


def render(svg_text, base, out_dir, width, height):
    svg = os.path.join(out_dir, base + ".svg")
    png = os.path.join(out_dir, base + ".png")
    with open(svg, "w", encoding="utf-8") as f:
        f.write(svg_text)
    run("rsvg-convert", "-w", str(width), "-h", str(height), "-o", png, svg)
    return png


def to_bmp32(png, bmp):
    run("convert", png, "-background", "#111214", "-alpha", "remove", "-alpha", "set",
        "-define", "bmp3:alpha=true", "BMP3:" + bmp)


def to_bmp24(png, bmp):
    run("convert", png, "-background", "#ffffff", "-alpha", "remove", "-type", "TrueColor", "BMP3:" + bmp)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--layout", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--png-only", action="store_true")
    a = ap.parse_args()
    os.makedirs(a.out, exist_ok=True)
    buttons, labels, sliders = parse_layout(a.layout)
    if (len(buttons), len(labels), len(sliders)) != (43, 10, 4):
        sys.exit(f"make_skin: layout has {len(buttons)}/{len(labels)}/{len(sliders)} rows, expected 43/10/4")

    for look in LOOKS:
        png = render(window_svg(look, buttons, labels, sliders), "skin_" + look, a.out, IMAGE_W, IMAGE_H)
        if not a.png_only:
            to_bmp32(png, os.path.join(a.out, f"skin_{look}.bmp"))
    png = render(mask_svg(), "skin_mask", a.out, WINDOW_W, WINDOW_H)
    if not a.png_only:
        run("convert", png, "-alpha", "off", "-type", "TrueColor", "BMP3:" + os.path.join(a.out, "skin_mask.bmp"))
    for look in ("normal", "active", "disabled"):
        png = render(thumb_svg(look), "thumb_" + look, a.out, THUMB_W, THUMB_H)
        if not a.png_only:
            to_bmp24(png, os.path.join(a.out, f"thumb_{look}.bmp"))
    png = render(icon_svg(), "app_icon", a.out, 48, 48)
    if not a.png_only:
        run("convert", png, "-define", "icon:auto-resize=48,32,16", os.path.join(a.out, "app.ico"))


if __name__ == "__main__":
    main()
