#!/usr/bin/python3
"""Draws the page's pictures and the program icon into res/page/ (needs python3-pil and
fonts-wqy-microhei). The output is committed; run again after changing a picture here.

The sprite sheet's coordinates are used by the page's style sheet: keep them in step.
  tab          0,0 120x32 (normal)   120,0 120x32 (current)
  large button 0,32 100x30 (normal)  100,32 100x30 (hover)
  progress track 0,62 235x14
  help markers 0,76 16x16 (closed)   16,76 16x16 (open)
  small button 0,92 44x20 (normal)   44,92 44x20 (hover)
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "page")
IMAGES = os.path.join(ROOT, "images")
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

NAVY = (0, 51, 153)
BLUE = (31, 95, 191)
SKY = (214, 228, 247)
PALE = (240, 245, 252)
WHITE = (255, 255, 255)
LINE = (168, 192, 228)
GOLD = (250, 94, 0)


def font(size):
    return ImageFont.truetype(FONT, size)


def gradient(size, top, bottom):
    width, height = size
    img = Image.new("RGB", size)
    draw = ImageDraw.Draw(img)
    for y in range(height):
        t = y / max(1, height - 1)
        colour = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        draw.line([(0, y), (width, y)], fill=colour)
    return img


def rounded(img, box, radius, fill, outline):
    ImageDraw.Draw(img).rounded_rectangle(box, radius=radius, fill=fill, outline=outline)


def save_gif(img, name):
    img.convert("P", palette=Image.ADAPTIVE, colors=128).save(os.path.join(IMAGES, name))


def brand_mark(draw, x, y, size):
    """The bank's mark: a white shield-like square with a blue 'M'."""
    draw.rounded_rectangle([x, y, x + size, y + size], radius=size // 5, fill=WHITE)
    draw.text((x + size // 2, y + size // 2), "M", font=font(int(size * 0.7)), fill=NAVY,
              anchor="mm")


def app_background():
    img = gradient((830, 565), (232, 240, 251), (250, 252, 255))
    header = gradient((830, 58), (0, 61, 165), (22, 104, 200))
    img.paste(header, (0, 0))
    draw = ImageDraw.Draw(img)
    # A few soft arcs give the header some depth without busy detail.
    for i, alpha in enumerate((40, 28, 18)):
        r = 260 + i * 70
        draw.ellipse([560 - r // 3, -r, 560 + r, r // 3], outline=(60 + alpha, 130 + alpha, 220),
                     width=2)
    draw.rectangle([0, 0, 829, 57], outline=None)
    brand_mark(draw, 16, 11, 36)
    draw.text((62, 13), "Marrowby银行", font=font(20), fill=WHITE)
    draw.text((196, 19), "网银助手", font=font(14), fill=(205, 222, 250))
    draw.line([(0, 58), (830, 58)], fill=(250, 160, 60), width=2)
    draw.rectangle([0, 540, 830, 565], fill=(225, 233, 246))
    draw.line([(0, 540), (830, 540)], fill=LINE)
    img.save(os.path.join(IMAGES, "appbg.jpg"), quality=90)


def sprite_sheet():
    img = Image.new("RGB", (240, 112), WHITE)
    # Tabs.
    img.paste(gradient((120, 32), (226, 236, 250), (196, 214, 240)), (0, 0))
    img.paste(gradient((120, 32), (255, 255, 255), (240, 245, 252)), (120, 0))
    draw = ImageDraw.Draw(img)
    draw.rectangle([0, 0, 119, 31], outline=LINE)
    draw.rectangle([120, 0, 239, 31], outline=LINE)
    draw.line([(121, 31), (238, 31)], fill=(240, 245, 252))
    draw.line([(121, 1), (238, 1)], fill=GOLD, width=3)
    # Large buttons.
    for x, top, bottom in ((0, (58, 128, 222), (16, 74, 170)), (100, (88, 152, 236), (30, 96, 196))):
        face = gradient((100, 30), top, bottom)
        mask = Image.new("L", (100, 30), 0)
        ImageDraw.Draw(mask).rounded_rectangle([0, 0, 99, 29], radius=5, fill=255)
        img.paste(face, (x, 32), mask)
        draw.rounded_rectangle([x, 32, x + 99, 61], radius=5, outline=(10, 56, 140))
    # Progress track.
    img.paste(gradient((235, 14), (224, 230, 238), (250, 251, 253)), (0, 62))
    draw.rectangle([0, 62, 234, 75], outline=(150, 170, 200))
    # Help markers: a plus for a closed entry, a minus for an open one.
    for x, plus in ((0, True), (16, False)):
        draw.rounded_rectangle([x + 1, 77, x + 14, 90], radius=3, fill=BLUE)
        draw.line([(x + 4, 83), (x + 11, 83)], fill=WHITE, width=2)
        if plus:
            draw.line([(x + 7, 80), (x + 7, 87)], fill=WHITE, width=2)
    # Small buttons.
    for x, top, bottom in ((0, (255, 255, 255), (214, 226, 244)), (44, (255, 250, 240), (252, 222, 190))):
        img.paste(gradient((44, 20), top, bottom), (x, 92))
        draw.rounded_rectangle([x, 92, x + 43, 111], radius=3, outline=(120, 150, 200))
    save_gif(img, "sps.gif")


def panel_backgrounds():
    save_gif(gradient((8, 419), (255, 255, 255), (236, 242, 250)), "graybg.gif")
    help_bg = gradient((814, 419), (255, 255, 255), (238, 244, 252))
    draw = ImageDraw.Draw(help_bg)
    for i in range(4):
        r = 120 + i * 60
        draw.ellipse([814 - r, 419 - r, 814 + r, 419 + r], outline=(222, 232, 246), width=2)
    save_gif(help_bg, "help.gif")
    # Header strip of each check box: the box title sits on it, the rows below on white.
    box = Image.new("RGB", (388, 164), WHITE)
    box.paste(gradient((388, 26), (236, 243, 253), (206, 222, 244)), (0, 0))
    draw = ImageDraw.Draw(box)
    draw.rectangle([0, 0, 387, 163], outline=LINE)
    draw.line([(0, 26), (388, 26)], fill=LINE)
    draw.rectangle([8, 8, 11, 18], fill=BLUE)
    save_gif(box, "brand.gif")


def progress_image():
    img = gradient((233, 12), (110, 180, 250), (20, 90, 200))
    draw = ImageDraw.Draw(img)
    for x in range(-12, 233, 12):
        draw.polygon([(x, 12), (x + 6, 12), (x + 12, 0), (x + 6, 0)], fill=(70, 140, 230))
    save_gif(img, "loading.gif")


def button_picture(text, name):
    """The large button as the help text shows it, with its label."""
    img = Image.new("RGB", (110, 40), WHITE)
    face = gradient((100, 30), (58, 128, 222), (16, 74, 170))
    mask = Image.new("L", (100, 30), 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, 99, 29], radius=5, fill=255)
    img.paste(face, (5, 5), mask)
    draw = ImageDraw.Draw(img)
    draw.rounded_rectangle([5, 5, 104, 34], radius=5, outline=(10, 56, 140))
    draw.text((55, 20), text, font=font(14), fill=WHITE, anchor="mm")
    save_gif(img, name)


def marks():
    v = Image.new("RGB", (16, 16), WHITE)
    draw = ImageDraw.Draw(v)
    draw.ellipse([0, 0, 15, 15], fill=(0, 51, 153))
    draw.line([(4, 8), (7, 11), (12, 4)], fill=WHITE, width=2)
    save_gif(v, "v.gif")
    x = Image.new("RGB", (16, 16), WHITE)
    draw = ImageDraw.Draw(x)
    draw.ellipse([0, 0, 15, 15], fill=GOLD)
    draw.line([(5, 5), (10, 10)], fill=WHITE, width=2)
    draw.line([(10, 5), (5, 10)], fill=WHITE, width=2)
    save_gif(x, "x.gif")


def banners():
    for name, size, title in (("brand2.gif", (200, 50), "网银助手"),
                              ("longbrand.gif", (600, 50), "Marrowby银行 网银助手 安全上网 放心理财")):
        img = gradient(size, (0, 61, 165), (22, 104, 200))
        draw = ImageDraw.Draw(img)
        brand_mark(draw, 8, 9, 32)
        draw.text((50, 25), title, font=font(16), fill=WHITE, anchor="lm")
        save_gif(img, name)
    scan = Image.new("RGB", (120, 120), WHITE)
    draw = ImageDraw.Draw(scan)
    for i, colour in enumerate(((214, 228, 247), (160, 196, 240), (58, 128, 222))):
        draw.ellipse([10 + i * 18, 10 + i * 18, 110 - i * 18, 110 - i * 18], outline=colour, width=4)
    draw.line([(60, 60), (100, 30)], fill=NAVY, width=3)
    save_gif(scan, "superscan.gif")
    tabs = Image.new("RGB", (240, 32), WHITE)
    tabs.paste(gradient((120, 32), (226, 236, 250), (196, 214, 240)), (0, 0))
    tabs.paste(gradient((120, 32), (255, 255, 255), (240, 245, 252)), (120, 0))
    draw = ImageDraw.Draw(tabs)
    draw.rectangle([0, 0, 119, 31], outline=LINE)
    draw.rectangle([120, 0, 239, 31], outline=LINE)
    save_gif(tabs, "tabs.gif")
    tabs.save(os.path.join(IMAGES, "tabs.png"))


def icon():
    img = Image.new("RGBA", (48, 48), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    draw.rounded_rectangle([2, 2, 45, 45], radius=9, fill=NAVY + (255,))
    draw.rounded_rectangle([5, 5, 42, 42], radius=7, outline=(120, 170, 240, 255), width=1)
    draw.text((24, 23), "M", font=font(30), fill=WHITE + (255,), anchor="mm")
    draw.line([(10, 38), (38, 38)], fill=(250, 160, 60, 255), width=2)
    img.save(os.path.join(ROOT, "corvane.ico"), sizes=[(16, 16), (32, 32), (48, 48)])


def main():
    os.makedirs(IMAGES, exist_ok=True)
    app_background()
    sprite_sheet()
    panel_backgrounds()
    progress_image()
    button_picture("重新检测", "a.gif")
    button_picture("一键设置", "b.gif")
    marks()
    banners()
    icon()
    return 0


if __name__ == "__main__":
    sys.exit(main())
