#!/usr/bin/python3
"""Builds the two archives the installer carries as resources.

  pack_archives.py skin  --skin DIR --art DIR --stage DIR --out skin.7z --rsvg PATH --seven-zip PATH
      Stages the skin folder, rasterises every SVG source named in ART/images.tsv at 1x into its
      archive path and at 2x into the enlarged parallel folder, and packs the staged folder.
  pack_archives.py fonts --table fonts.tsv --skin DIR --stage DIR --out fonts.7z --seven-zip PATH
      Subsets every font of the table to the characters of the shipped texts (the text table, the
      language files and the layouts of the skin folder, read now) plus ASCII and common
      punctuation, stores it under its archive name and packs the staged folder.

Both archives are 7z, one solid LZMA2 block, entry paths with "/" between folders.
"""

import argparse
import html
import os
import shutil
import struct
import subprocess
import sys


def fail(message):
    print(f"pack_archives: {message}", file=sys.stderr)
    sys.exit(1)


def read_table(path):
    """Rows of a TAB-separated file, without empty lines and lines starting with '#'."""
    rows = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            rows.append((number, line.split("\t")))
    return rows


def fresh_folder(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    os.makedirs(path)


def pack(stage, out, seven_zip):
    """Packs the content of the stage folder into out, replacing it only once it is complete."""
    partial = out + ".partial"
    if os.path.exists(partial):
        os.remove(partial)
    entries = sorted(os.listdir(stage))
    if not entries:
        fail(f"nothing to pack in {stage}")
    subprocess.run([seven_zip, "a", "-t7z", "-m0=lzma2", "-ms=on", "-mx=9", "-bd", "-bso0",
                    partial, *entries], cwd=stage, check=True)
    os.replace(partial, out)


# ---------------------------------------------------------------------------------------------
# Skin archive

def enlarged_name(name):
    """'common/x.png' -> 'commonEnalarge/x.png'; 'x.png' -> 'Enalarge/x.png'."""
    first, slash, rest = name.partition("/")
    return f"{first}Enalarge/{rest}" if slash else f"Enalarge/{name}"


def png_size(path):
    with open(path, "rb") as image:
        header = image.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        fail(f"{path} is not a PNG file")
    return struct.unpack(">II", header[16:24])


def svg_size(path):
    """Width and height of the root element, in whole pixels."""
    import xml.etree.ElementTree as ET
    root = ET.parse(path).getroot()
    try:
        return int(root.get("width")), int(root.get("height"))
    except (TypeError, ValueError):
        fail(f"{path}: the root element needs whole-pixel width and height attributes")


def pack_skin(args):
    manifest = os.path.join(args.art, "images.tsv")
    fresh_folder(args.stage)
    shutil.copytree(args.skin, args.stage, dirs_exist_ok=True)
    rendered = set()
    for number, fields in read_table(manifest):
        if len(fields) < 2:
            fail(f"{manifest}:{number}: expected a source and at least one archive path")
        source = os.path.join(args.art, fields[0])
        width, height = svg_size(source)
        for name in fields[1:]:
            for scale, target in ((1, name), (2, enlarged_name(name))):
                if target in rendered:
                    fail(f"{manifest}:{number}: {target} is rendered twice")
                if os.path.exists(os.path.join(args.skin, target)):
                    fail(f"{target} is rendered from {fields[0]} and also lies in {args.skin}")
                rendered.add(target)
                out = os.path.join(args.stage, target)
                os.makedirs(os.path.dirname(out), exist_ok=True)
                subprocess.run([args.rsvg, "--zoom", str(scale), "--format", "png",
                                "--output", out, source], check=True)
                if png_size(out) != (width * scale, height * scale):
                    fail(f"{target}: rendered {png_size(out)}, expected "
                         f"{(width * scale, height * scale)}")
    pack(args.stage, args.out, args.seven_zip)


# ---------------------------------------------------------------------------------------------
# Font archive

# Always kept: ASCII, the Latin-1 supplement (punctuation such as guillemets and the accented
# letters of European folder names), general punctuation, and a few signs.
ALWAYS = set(range(0x20, 0x7F)) | set(range(0xA0, 0x100)) | set(range(0x2010, 0x205F)) | {
    0x20AC, 0x2122, 0x2190, 0x2191, 0x2192, 0x2193, 0x2713, 0xFFFD}

TEXT_SUFFIXES = (".tsv", ".xml", ".txt")


def decode_text(data):
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16")
    return data.decode("utf-8-sig", errors="replace")


def shipped_characters(skin):
    """Every character of the text files of the skin folder, character references resolved."""
    characters = set(ALWAYS)
    for folder, _, files in os.walk(skin):
        for file in files:
            if not file.lower().endswith(TEXT_SUFFIXES):
                continue
            with open(os.path.join(folder, file), "rb") as text_file:
                text = decode_text(text_file.read())
            for part in (text, html.unescape(text)):
                characters.update(ord(c) for c in part if ord(c) >= 0x20)
    characters.discard(0xFFFE)
    return characters


OFL_NOTICE = ("This Font Software is licensed under the SIL Open Font License, Version 1.1. "
              "This license is available with a FAQ at: https://openfontlicense.org")


def rename_family(font, family, source_family):
    """Gives a subset whose source name is reserved a family name of its own: every record that
    names the font is replaced, the copyright and trademark notices stay, and the licence and a
    description of the change are written into the name table."""
    name = font["name"]
    name.names = [record for record in name.names
                  if record.nameID not in (1, 3, 4, 6, 10, 13, 14, 16, 17, 18, 20, 21, 22)]
    subfamily = "Regular"
    postscript = family.replace(" ", "") + "-" + subfamily
    description = (f"Modified Version of {source_family}: a subset of its characters, "
                   "renamed as its licence asks for the Reserved Font Name.")
    for platform, encoding, language in ((3, 1, 0x409), (1, 0, 0)):
        name.setName(family, 1, platform, encoding, language)
        name.setName(subfamily, 2, platform, encoding, language)
        name.setName(f"{family} {subfamily}", 3, platform, encoding, language)
        name.setName(f"{family} {subfamily}", 4, platform, encoding, language)
        name.setName(postscript, 6, platform, encoding, language)
        name.setName(description, 10, platform, encoding, language)
        name.setName(OFL_NOTICE, 13, platform, encoding, language)
        name.setName("https://openfontlicense.org", 14, platform, encoding, language)


def pack_fonts(args):
    import logging
    from fontTools import subset
    from fontTools.ttLib import TTFont

    # Tables the subsetter cannot subset (font tool sources) are dropped; no need to say so.
    logging.getLogger("fontTools.subset").setLevel(logging.ERROR)

    characters = shipped_characters(args.skin)
    fresh_folder(args.stage)
    names = set()
    for number, fields in read_table(args.table):
        if len(fields) not in (5, 6) or (len(fields) == 6 and fields[5] != "renamed"):
            fail(f"{args.table}:{number}: expected archive name, package, source, licence, "
                 "family and an optional 'renamed'")
        archive_name, _package, source, _licence, family = fields[:5]
        renamed = len(fields) == 6
        if archive_name in names:
            fail(f"{args.table}:{number}: {archive_name} twice")
        names.add(archive_name)
        options = subset.Options()
        options.name_IDs = ["*"]
        options.name_languages = ["*"]
        options.name_legacy = True
        options.notdef_outline = True
        options.layout_features = ["*"]
        font = TTFont(source)
        subsetter = subset.Subsetter(options)
        subsetter.populate(unicodes=characters)
        subsetter.subset(font)
        current = next((r.toUnicode() for r in font["name"].names
                        if r.nameID == 1 and r.platformID == 3), None)
        if renamed:
            # The source's name is reserved for its original version: the subset gets its own.
            rename_family(font, family, current)
        elif current != family:
            fail(f"{args.table}:{number}: {source} has the family {current!r}, not {family!r}")
        font.save(os.path.join(args.stage, archive_name))
    pack(args.stage, args.out, args.seven_zip)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    skin = commands.add_parser("skin")
    skin.add_argument("--skin", required=True)
    skin.add_argument("--art", required=True)
    skin.add_argument("--rsvg", required=True)
    fonts = commands.add_parser("fonts")
    fonts.add_argument("--table", required=True)
    fonts.add_argument("--skin", required=True)
    for command in (skin, fonts):
        command.add_argument("--stage", required=True)
        command.add_argument("--out", required=True)
        command.add_argument("--seven-zip", required=True)
    args = parser.parse_args()
    if args.command == "skin":
        pack_skin(args)
    else:
        pack_fonts(args)


if __name__ == "__main__":
    main()
