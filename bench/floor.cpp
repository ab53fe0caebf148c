/* The floor of any libgd-based converter: decode the GIF with gdImageCreateFromGif and read
 * every pixel's palette colour once, with gdImageGetPixel and the palette arrays. Prints a checksum
 * so that nothing is optimised away. Usage: floor in.gif */
#include <gd.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s in.gif\n", argv[0]);
        return 2;
    }
    FILE* stream = fopen(argv[1], "rb");
    if (stream == NULL) return 1;
    gdImagePtr picture = gdImageCreateFromGif(stream);
    fclose(stream);
    if (picture == NULL) return 1;
    unsigned long sum = 0;
    for (int y = 0; y < gdImageSY(picture); ++y) {
        for (int x = 0; x < gdImageSX(picture); ++x) {
            const int index = gdImageGetPixel(picture, x, y);
            sum +=
                (unsigned long)(picture->red[index] + picture->green[index] + picture->blue[index]);
        }
    }
    gdImageDestroy(picture);
    printf("%lu\n", sum);
    return 0;
}
