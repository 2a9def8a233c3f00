#!/usr/bin/env python3
"""Draws the sample product's theme pictures (setup's main window, progress bar,
wait image, page banners and the splash picture) with Pillow, so that the
repository holds no large binaries. Usage: draw_theme.py OUTPUT_FOLDER
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

PRODUCT = "Sample Document Editor"
VENDOR = "Quorvant"
NAVY = (31, 58, 95)
BLUE = (47, 111, 178)
SKY = (118, 170, 222)
PALE = (234, 241, 248)
WHITE = (255, 255, 255)
ORANGE = (242, 159, 5)
GREY = (200, 207, 216)
GREEN = (46, 160, 67)

FONT_FOLDER = "/usr/share/fonts/truetype/dejavu"


def font(size, bold=False):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    try:
        return ImageFont.truetype(os.path.join(FONT_FOLDER, name), size)
    except OSError:
        return ImageFont.load_default()


def gradient(size, top, bottom, horizontal=False):
    width, height = size
    image = Image.new("RGB", size)
    draw = ImageDraw.Draw(image)
    steps = width if horizontal else height
    for i in range(steps):
        t = i / max(steps - 1, 1)
        colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        if horizontal:
            draw.line([(i, 0), (i, height)], fill=colour)
        else:
            draw.line([(0, i), (width, i)], fill=colour)
    return image


def logo(draw, x, y, scale):
    """The product's mark: a page with a folded corner and lines of text."""
    w, h, fold = 30 * scale, 38 * scale, 9 * scale
    page = [(x, y), (x + w - fold, y), (x + w, y + fold), (x + w, y + h), (x, y + h)]
    draw.polygon(page, fill=WHITE, outline=NAVY)
    draw.polygon([(x + w - fold, y), (x + w - fold, y + fold), (x + w, y + fold)], fill=SKY, outline=NAVY)
    for row in range(4):
        top = y + (14 + row * 6) * scale
        right = x + (w - 6 * scale if row < 3 else w * 0.6)
        draw.line([(x + 5 * scale, top), (right, top)], fill=BLUE, width=max(1, int(2 * scale)))
    draw.ellipse([x + w - 6 * scale, y + h - 6 * scale, x + w + 6 * scale, y + h + 6 * scale], fill=ORANGE)


def background(path):
    image = gradient((640, 420), NAVY, BLUE)
    draw = ImageDraw.Draw(image)
    logo(draw, 48, 44, 2.0)
    draw.text((130, 52), PRODUCT, font=font(30, bold=True), fill=WHITE)
    draw.text((132, 96), "Write, format and share your documents", font=font(15), fill=PALE)
    # The panel that holds the progress bar, the wait image and the status text.
    draw.rounded_rectangle([60, 220, 580, 320], radius=10, fill=PALE, outline=SKY)
    draw.text((48, 388), "\u00a9 2026 " + VENDOR + ". All rights reserved.", font=font(11), fill=PALE)
    draw.text((520, 388), "Version 1.0", font=font(11), fill=PALE)
    image.save(path)


def progress(track_path, fill_path):
    size = (400, 16)
    track = Image.new("RGB", size, PALE)
    ImageDraw.Draw(track).rounded_rectangle([0, 0, 399, 15], radius=7, fill=GREY, outline=SKY)
    track.save(track_path)
    fill = gradient(size, SKY, BLUE, horizontal=True)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, 399, 15], radius=7, fill=255)
    done = Image.new("RGB", size, GREY)
    done.paste(fill, (0, 0), mask)
    done.save(fill_path)


def wait_image(path):
    """A round spinner on the panel colour."""
    image = Image.new("RGB", (32, 32), PALE)
    draw = ImageDraw.Draw(image)
    draw.ellipse([3, 3, 28, 28], outline=GREY, width=4)
    draw.arc([3, 3, 28, 28], start=-90, end=90, fill=ORANGE, width=4)
    image.save(path)


# The header strip of a page (316 x 43 dialog units of "MS Shell Dlg" 8) in pixels
# at 96 DPI: the banner draws its picture at that size and cuts off what is beyond.
BANNER = (474, 70)


def banner(path, finished=False):
    width, height = BANNER
    image = gradient(BANNER, BLUE, NAVY, horizontal=True)
    draw = ImageDraw.Draw(image)
    logo(draw, 18, 13, 1.1)
    draw.text((64, 13), PRODUCT, font=font(19, bold=True), fill=WHITE)
    draw.text((65, 41), VENDOR + " Setup", font=font(12), fill=PALE)
    if finished:
        right, top = width - 16, (height - 48) // 2
        draw.ellipse([right - 48, top, right, top + 48], fill=GREEN, outline=WHITE, width=2)
        draw.line([(right - 36, top + 25), (right - 26, top + 35), (right - 10, top + 14)], fill=WHITE, width=5)
    else:
        draw.rectangle([0, height - 4, width, height], fill=ORANGE)
    image.save(path)


def splash(path):
    image = gradient((420, 240), NAVY, BLUE)
    draw = ImageDraw.Draw(image)
    draw.rectangle([0, 0, 419, 239], outline=SKY, width=2)
    logo(draw, 40, 60, 2.0)
    draw.text((120, 66), "Sample Document", font=font(24, bold=True), fill=WHITE)
    draw.text((120, 96), "Editor", font=font(24, bold=True), fill=WHITE)
    draw.text((122, 134), "Version 1.0", font=font(13), fill=PALE)
    draw.text((40, 200), "Preparing setup...", font=font(12), fill=PALE)
    draw.text((300, 200), VENDOR, font=font(14, bold=True), fill=ORANGE)
    image.save(path)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    background(os.path.join(folder, "background.png"))
    progress(os.path.join(folder, "progress-track.png"), os.path.join(folder, "progress-fill.png"))
    wait_image(os.path.join(folder, "wait.png"))
    banner(os.path.join(folder, "banner.png"))
    banner(os.path.join(folder, "banner-finish.png"), finished=True)
    splash(os.path.join(folder, "splash.png"))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: draw_theme.py OUTPUT_FOLDER")
    main(sys.argv[1])
