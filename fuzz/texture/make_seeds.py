#!/usr/bin/env python3
"""Writes a small seed corpus for the reader fuzzer: one tiny file per reader and variant.

usage: make_seeds.py <output folder>
JPEG seeds need a C compiler and libjpeg's headers; they are skipped when either is missing.
"""
import os, struct, subprocess, sys, tempfile, zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)

def save(name, data):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)

def dib(width, height, bits, compression, pixels, table=b'', masks=b'', header=40):
    h = struct.pack('<IiiHHIIiiII', header, width, height, 1, bits, compression, len(pixels), 0, 0,
                    len(table) // 4, 0)
    h += b'\0' * (header - 40)
    return h + masks + table + pixels

def bmp(d):
    return b'BM' + struct.pack('<IHHI', 14 + len(d), 0, 0, 0) + d

grey4 = b''.join(bytes([i * 17, i * 17, i * 17, 0]) for i in range(16))
save('bmp24.bmp', bmp(dib(2, 2, 24, 0, b'\x00\x00\xff\x00\xff\x00\0\0' + b'\xff\x00\x00\xff\xff\xff\0\0')))
save('bmp8_topdown.bmp', bmp(dib(3, -2, 8, 0, b'\x00\x01\x02\0\x03\x04\x05\0', grey4 * 16)))
save('bmp1.bmp', bmp(dib(10, 2, 1, 0, b'\xaa\xc0\0\0\x55\x40\0\0', b'\0\0\0\0\xff\xff\xff\0')))
save('bmp4.bmp', bmp(dib(5, 1, 4, 0, b'\x01\x23\x40\0', grey4)))
save('bmp_rle8.bmp', bmp(dib(4, 2, 8, 1, bytes.fromhex('0307000002050001'), grey4 * 16)))
save('bmp_rle4.bmp', bmp(dib(8, 2, 4, 2, bytes.fromhex('0412000501234000000002020004a5000001'), grey4)))
save('bmp565.bmp', bmp(dib(2, 1, 16, 3, b'\x1f\x00\xe0\x07', masks=struct.pack('<III', 0xF800, 0x7E0, 0x1F))))
save('bare.dib', dib(1, 1, 32, 0, b'\x01\x02\x03\x04'))

def tga(image_type, width, height, depth, descriptor, pixels, cmap=b'', cmap_type=0, first=0,
        count=0, entry=0, ident=b''):
    return struct.pack('<BBBHHBHHHHBB', len(ident), cmap_type, image_type, first, count, entry, 0, 0,
                       width, height, depth, descriptor) + ident + cmap + pixels

save('tga24_topleft.tga', tga(2, 2, 1, 24, 0x20, b'\x01\x02\x03\x04\x05\x06'))
save('tga32_rle.tga', tga(10, 4, 1, 32, 0, b'\x83\x01\x02\x03\x04'))
save('tga_mapped.tga', tga(1, 2, 1, 8, 0x10, b'\x00\x01', cmap=b'\x00\x7c\x00\xfc', cmap_type=1,
                           count=2, entry=16, ident=b'id'))
save('tga_grey_rle.tga', tga(11, 3, 2, 8, 0, b'\x02\x10\x20\x30\x82\x40'))

save('p6.ppm', b'P6\n2\n1\n255\n\xff\x00\x00\x00\x00\xff')
save('p3.ppm', b'P3\n# comment\n1 1\n15\n15 0 7\n')

def dds(width, height, mips, pf, payload, caps2=0, flags=0x1007, depth=0, palette=b''):
    header = struct.pack('<4sIIIIIII', b'DDS ', 124, flags, height, width, 0, depth, mips)
    header += b'\0' * 44 + struct.pack('<II', 32, pf[0]) + struct.pack('<I', pf[1]) + \
        struct.pack('<IIIII', *pf[2:]) + struct.pack('<IIIII', 0x1000, caps2, 0, 0, 0)
    return header + palette + payload

save('dxt1_mips.dds', dds(4, 4, 3, (4, 0x31545844, 0, 0, 0, 0, 0), bytes(range(24))))
save('argb_cube.dds', dds(1, 1, 1, (0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), bytes(24),
                          caps2=0xFE00))
save('p8_volume.dds', dds(2, 2, 2, (0x20, 0, 8, 0, 0, 0, 0), bytes(9), flags=0x801007, depth=2,
                          palette=bytes(1024)))

def png(width, height, colour_type, depth, rows, extra=b''):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    ihdr = struct.pack('>IIBBBBB', width, height, depth, colour_type, 0, 0, 0)
    raw = b''.join(b'\0' + r for r in rows)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + extra + chunk(b'IDAT', zlib.compress(raw)) + \
        chunk(b'IEND', b'')

def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

save('rgb8.png', png(2, 1, 2, 8, [b'\xff\x00\x00\x00\xff\x00']))
save('grey1_gamma.png', png(8, 1, 0, 1, [b'\xa5'], chunk(b'gAMA', struct.pack('>I', 45455))))
save('palette_trns.png', png(2, 1, 3, 8, [b'\x00\x03'],
                             chunk(b'PLTE', bytes(range(12))) + chunk(b'tRNS', b'\x00\x80')))
save('rgba16.png', png(1, 1, 6, 16, [bytes(range(8))]))

jpeg_program = r'''
#include <stdio.h>
#include <jpeglib.h>
int main(int argc, char** argv) {
  for (int grey = 0; grey < 2; ++grey) {
    struct jpeg_compress_struct c; struct jpeg_error_mgr e;
    c.err = jpeg_std_error(&e); jpeg_create_compress(&c);
    FILE* f = fopen(argv[1 + grey], "wb"); jpeg_stdio_dest(&c, f);
    c.image_width = 9; c.image_height = 7; c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c); if (!grey) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    unsigned char row[27];
    for (int i = 0; i < 27; ++i) row[i] = (unsigned char)(i * 9);
    while (c.next_scanline < c.image_height) { JSAMPROW r = row; jpeg_write_scanlines(&c, &r, 1); }
    jpeg_finish_compress(&c); fclose(f); jpeg_destroy_compress(&c);
  }
  return 0;
}
'''
with tempfile.TemporaryDirectory() as tmp:
    source = os.path.join(tmp, 'j.c')
    with open(source, 'w') as f:
        f.write(jpeg_program)
    binary = os.path.join(tmp, 'j')
    if subprocess.call(['cc', source, '-o', binary, '-ljpeg'], stderr=subprocess.DEVNULL) == 0:
        subprocess.check_call([binary, os.path.join(out, 'colour_progressive.jpg'),
                               os.path.join(out, 'grey.jpg')])
