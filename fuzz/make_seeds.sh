#!/bin/sh
# Writes the picture seeds of the fuzz targets: small pictures made by
# ImageMagick, netpbm and the libtiff tools in the variants the reader tests
# make, so that fuzzing starts from files of the kind users have. Files of
# the same name in fuzz/corpus/ are replaced; other files there are kept
# (among them the Paint Shop Pro and level seeds, which come from the test
# writers of those layouts, and the saved crash inputs).
#
#     sh fuzz/make_seeds.sh
set -eu
out=$(cd "$(dirname "$0")" && pwd)/corpus
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# The picture: colour gradients with a solid block, 18 x 12 pixels, and an
# alpha channel that falls from opaque to clear across the columns.
convert -size 18x12 xc: -sparse-color Bilinear '0,0 red 17,0 lime 0,11 blue 17,11 white' \
    -fill navy -draw 'rectangle 3,2 8,6' \( -size 12x18 gradient:white-black -rotate 90 \) \
    -alpha off -compose CopyOpacity -composite -strip alpha.png
convert alpha.png -alpha off rgb.png
convert rgb.png -depth 8 rgb.ppm
convert rgb.png -colorspace Gray -depth 8 gray.pgm
convert rgb.png -monochrome mono.pbm

# im TARGET [FORMAT:]NAME OPTIONS...: ImageMagick writes the opaque picture
# (the alpha one with -alpha on among the options).
im() {
    target=$1 name=$2
    shift 2
    source=rgb.png
    case " $* " in *" -alpha on "*) source=alpha.png ;; esac
    case $name in
    *:*) convert "$source" -strip "$@" "${name%%:*}:$out/$target/${name#*:}" ;;
    *) convert "$source" -strip "$@" "$out/$target/$name" ;;
    esac
}

# ---- TIFF ----------------------------------------------------------------------
t=fuzz_tiff
im $t im_rgb_plain.tif -depth 8 -compress None
im $t im_rgb_packbits_strips.tif -depth 8 -compress RLE -define tiff:rows-per-strip=5
im $t im_rgb_deflate_msb.tif -depth 8 -compress Zip -endian MSB
im $t im_rgba_deflate_predictor.tif -alpha on -depth 8 -compress Zip -define tiff:predictor=2
im $t im_rgb16_msb.tif -depth 16 -compress Zip -endian MSB
im $t im_rgba16_lsb.tif -alpha on -depth 16 -compress Zip -endian LSB
im $t im_gray4.tif -type Grayscale -depth 4 -compress None
im $t im_gray16.tif -type Grayscale -depth 16 -compress Zip
im $t im_gray_alpha.tif -alpha on -type GrayscaleAlpha -depth 8 -compress None
im $t im_bilevel_packbits.tif -type Bilevel -compress RLE
im $t im_palette8_deflate.tif -depth 8 -type Palette -compress Zip
im $t im_palette2_packbits.tif -colors 4 -type Palette -compress RLE
im $t im_cmyk_deflate.tif -depth 8 -colorspace CMYK -compress Zip
im $t im_cmyk16.tif -depth 16 -colorspace CMYK -compress None
im $t im_lab8.tif -depth 8 -colorspace Lab -compress None
im $t im_lab16.tif -depth 16 -colorspace Lab -compress None
im $t im_ycbcr.tif -depth 8 -colorspace YCbCr -compress None
im $t im_tiles_alpha.tif -alpha on -depth 8 -compress Zip -define tiff:tile-geometry=16x16
im $t im_planes_predictor.tif -depth 8 -compress Zip -interlace Plane -define tiff:predictor=2
im $t im_planes16_msb.tif -depth 16 -compress Zip -interlace Plane -endian MSB
im $t im_jpeg_rgb.tif -depth 8 -compress JPEG -quality 90
im $t im_jpeg_gray.tif -depth 8 -type Grayscale -compress JPEG
im $t im_group4.tif -type Bilevel -compress Group4
im $t im_lzw.tif -depth 8 -compress LZW
# tiffcp's rewritings of ImageMagick's plain files
convert rgb.png -strip -depth 8 -compress None plain.tif
convert rgb.png -strip -type Bilevel -compress Group4 bilevel.tif
convert rgb.png -strip -type Grayscale -depth 8 -compress None gray.tif
convert rgb.png -strip -depth 16 -colorspace CMYK -compress None cmyk16.tif
tcp() { name=$1 source=$2; shift 2; tiffcp "$@" "$source" "$out/$t/$name"; }
tcp tiffcp_none_msb.tif plain.tif -B -c none
tcp tiffcp_zip_predictor_lsb.tif plain.tif -L -c zip:2
tcp tiffcp_tiles_packbits_msb.tif plain.tif -c packbits -t -w 16 -l 16 -B
tcp tiffcp_planes_tiles.tif plain.tif -c zip -p separate -t -w 16 -l 16
tcp tiffcp_jpeg_ycbcr.tif plain.tif -c jpeg -r 16
tcp tiffcp_jpeg_tiles.tif plain.tif -c jpeg -t -w 16 -l 16
tcp tiffcp_jpeg_planes.tif plain.tif -c jpeg -p separate -r 16
tcp tiffcp_gray_tiles_predictor.tif gray.tif -c zip:2 -t -w 16 -l 16
tcp tiffcp_cmyk16_msb.tif cmyk16.tif -B -c none
tcp tiffcp_bilevel_plain.tif bilevel.tif -c none
tcp tiffcp_g3.tif bilevel.tif -c g3:1d
tcp tiffcp_g3_fill_lsb2msb.tif bilevel.tif -c g3:1d:fill -f lsb2msb -r 5
tcp tiffcp_g3_2d.tif bilevel.tif -c g3:2d
tcp tiffcp_g4.tif bilevel.tif -c g4
# YCbCr files that name their coefficients (Rec. 601 and Rec. 709)
cp "$out/$t/tiffcp_jpeg_ycbcr.tif" "$out/$t/tiffset_jpeg_ycbcr_coefficients.tif"
tiffset -s 529 0.299 0.587 0.114 "$out/$t/tiffset_jpeg_ycbcr_coefficients.tif"
cp "$out/$t/im_ycbcr.tif" "$out/$t/tiffset_ycbcr_coefficients709.tif"
tiffset -s 529 0.2126 0.7152 0.0722 "$out/$t/tiffset_ycbcr_coefficients709.tif"

# An EPS file whose preview is one of the TIFF files: the 30-byte header
# (PostScript at 30, no metafile, the preview after the PostScript).
le32() { for s in 0 8 16 24; do printf "\\$(printf %o $(($1 >> s & 255)))"; done; }
ps='%!PS-Adobe-3.0 EPSF-3.0
%%BoundingBox: 0 0 18 12
showpage
'
preview=$out/$t/tiffcp_zip_predictor_lsb.tif
{
    printf '\305\320\323\306'
    le32 30; le32 ${#ps}; le32 0; le32 0; le32 $((30 + ${#ps})); le32 $(wc -c <"$preview")
    printf '\377\377%s' "$ps"
    cat "$preview"
} >"$out/$t/eps_tiff_preview.eps"

# ---- PNG -----------------------------------------------------------------------
t=fuzz_png
png() { im $t "$@" -define png:exclude-chunks=date,time; }
png PNG24:im_rgb8_sub.png -depth 8 -define png:compression-filter=1
png PNG24:im_rgb8_interlaced.png -depth 8 -interlace PNG
png PNG48:im_rgb16_adaptive.png -depth 16 -define png:compression-filter=5
png PNG32:im_rgba8_paeth.png -alpha on -depth 8 -define png:compression-filter=4
png PNG64:im_rgba16.png -alpha on -depth 16
png im_gray1.png -type Bilevel -define png:color-type=0 -define png:bit-depth=1
png im_gray2.png -type Grayscale -depth 2 -define png:color-type=0 -define png:bit-depth=2
png im_gray4_interlaced.png -type Grayscale -depth 4 -define png:color-type=0 -define png:bit-depth=4 -interlace PNG
png im_gray_alpha8.png -alpha on -type GrayscaleAlpha -define png:color-type=4 -define png:bit-depth=8
png PNG8:im_palette8_interlaced.png -colors 200 -interlace PNG
png im_palette4.png -colors 12 -define png:color-type=3 -define png:bit-depth=4
png PNG8:im_palette_alpha.png -alpha on -colors 30
png PNG24:im_stored.png -depth 8 -define png:compression-level=0
pnmtopng -interlace rgb.ppm >"$out/$t/pnm_rgb_interlaced.png"
pnmtopng -compression 0 gray.pgm >"$out/$t/pnm_gray_stored.png"
pnmtopng -gamma 0.45 -transparent rgb:00/00/80 rgb.ppm >"$out/$t/pnm_rgb_gamma_transparent.png"
convert alpha.png -alpha extract -depth 8 mask.pgm
pnmtopng -alpha mask.pgm rgb.ppm >"$out/$t/pnm_rgb_alpha.png"
convert rgb.png -colors 4 -depth 8 four.ppm
pnmtopng -interlace four.ppm >"$out/$t/pnm_four_colours_interlaced.png"

# ---- Truevision ----------------------------------------------------------------
t=fuzz_targa
im $t tga:im_true_top.tga -type TrueColor -compress None -orient TopLeft
im $t tga:im_true_rle_top.tga -type TrueColor -compress RLE -orient TopLeft
im $t tga:im_alpha.tga -alpha on -type TrueColorAlpha -compress None
im $t tga:im_alpha_rle_top.tga -alpha on -type TrueColorAlpha -compress RLE -orient TopLeft
im $t tga:im_mapped.tga -type Palette -compress None
im $t tga:im_mapped_rle_top.tga -type Palette -compress RLE -orient TopLeft
im $t tga:im_gray_rle.tga -type Grayscale -compress RLE
im $t tga:im_sixteen_rle.tga -type TrueColor -depth 5 -compress RLE
pamtotga -rgb -norle rgb.ppm >"$out/$t/pam_rgb.tga"
pamtotga -cmap four.ppm >"$out/$t/pam_cmap_rle.tga"
pamtotga -mono gray.pgm >"$out/$t/pam_mono_rle.tga"

# ---- Windows bitmaps -----------------------------------------------------------
t=fuzz_bitmap
im $t bmp:im_mono.bmp -monochrome
im $t bmp:im_four.bmp -colors 16 -type Palette
im $t bmp3:im_eight.bmp -type Palette -compress None
im $t bmp:im_rle8.bmp -type Palette -compress RLE
im $t bmp:im_565.bmp -define bmp:subtype=RGB565
im $t bmp:im_555.bmp -define bmp:subtype=RGB555
im $t bmp:im_24v5.bmp -type TrueColor
im $t bmp2:im_core.bmp -type TrueColor
im $t bmp:im_argb.bmp -alpha on
ppmtobmp -bpp 4 four.ppm >"$out/$t/pnm_four.bmp"
ppmtobmp -os2 -bpp 8 rgb.ppm >"$out/$t/pnm_os2_eight.bmp" 2>/dev/null
ppmtobmp -os2 mono.pbm >"$out/$t/pnm_os2_mono.bmp"

# ---- Icons ---------------------------------------------------------------------
t=fuzz_icon
convert alpha.png -strip -resize 16x16! icon16.png
convert alpha.png -strip -resize 8x8! icon8.png
convert icon16.png "$out/$t/im_alpha16.ico"
convert icon8.png icon16.png "$out/$t/im_two_sizes.ico"
convert icon16.png -alpha off -colors 16 -type Palette "$out/$t/im_palette16.ico"
convert icon16.png -depth 8 icon16.pam
pamtowinicon icon16.pam >"$out/$t/pam_alpha16.ico"
pamtowinicon -pngthreshold 1 icon16.pam >"$out/$t/pam_png_inside.ico"

# ---- Photoshop, SGI, PCX and portable maps: the first byte picks the reader ------
t=fuzz_more_readers
# byte CODE FILE NAME: the file stored after the byte that picks its reader.
byte() { { printf "\\$(printf %o "$1")"; cat "$2"; } >"$out/$t/$3"; }
# more CODE NAME FORMAT OPTIONS...: ImageMagick's picture in that format.
more() {
    code=$1 name=$2 format=$3
    shift 3
    source=rgb.png
    case " $* " in *" -alpha on "*) source=alpha.png ;; esac
    convert "$source" -strip "$@" "$format:x"
    byte "$code" x "$name"
}
more 0 im_rgb16_rle.psd psd -depth 16 -compress RLE
more 0 im_rgba_rle.psd psd -alpha on -depth 8 -compress RLE
more 0 im_cmyk.psd psd -depth 8 -colorspace CMYK -compress None
more 0 im_cmyk16.psd psd -depth 16 -colorspace CMYK -compress None
more 0 im_gray16_rle.psd psd -depth 16 -colorspace Gray -compress RLE
more 0 im_gray_alpha.psd psd -alpha on -depth 8 -colorspace Gray -compress RLE
more 0 im_bitmap.psd psd -monochrome -depth 1 -compress None
more 0 im_lab.psd psd -depth 8 -colorspace Lab -compress None
more 1 im_rgb_rle.sgi sgi -depth 8 -compress RLE
more 1 im_rgba.sgi sgi -alpha on -depth 8 -compress None
more 1 im_gray16.sgi sgi -depth 16 -colorspace Gray -compress None
pnmtosgi -rle rgb.ppm >x && byte 1 x pnm_rgb_rle.sgi
pnmtosgi -verbatim gray.pgm >x && byte 1 x pnm_gray.sgi
more 3 im_true_color.pcx pcx -depth 8
more 3 im_bilevel.pcx pcx -monochrome
ppmtopcx -packed four.ppm >x 2>/dev/null && byte 3 x pnm_four_packed.pcx
ppmtopcx -planes 3 four.ppm >x 2>/dev/null && byte 3 x pnm_planes3.pcx
ppmtopcx -24bit rgb.ppm >x 2>/dev/null && byte 3 x pnm_24bit.pcx
pnmtoplainpnm gray.pgm >x && byte 9 x pnm_p2.pgm
more 9 im_p3_16.ppm ppm -depth 16 -compress None
more 9 im_p6_16.ppm ppm -depth 16
pamdepth 31 rgb.ppm >x && byte 9 x pnm_p6_31.ppm
pamdepth 1000 gray.pgm >x && byte 9 x pnm_p5_1000.pgm
byte 9 mono.pbm pnm_p4.pbm
