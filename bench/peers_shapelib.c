/* peers_shapelib: reads every field of every record of a dBASE table through shapelib, typed as
 * its column type says (the way a shapelib host reads), and prints the row count and a sum so
 * that no read can be left out. The peer of quorvel_scan in bench/peers.
 *
 * Usage: peers_shapelib FILE */
#include <shapefil.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: peers_shapelib FILE\n");
        return 2;
    }
    DBFHandle hDBF = DBFOpen(argv[1], "rb");
    if (hDBF == NULL) {
        fprintf(stderr, "peers_shapelib: cannot open %s\n", argv[1]);
        return 1;
    }
    const int nFields = DBFGetFieldCount(hDBF);
    const int nRecords = DBFGetRecordCount(hDBF);
    DBFFieldType types[256];
    for (int f = 0; f < nFields && f < 256; ++f) {
        types[f] = DBFGetFieldInfo(hDBF, f, NULL, NULL, NULL);
    }
    double sum = 0;
    unsigned long long chars = 0;
    for (int r = 0; r < nRecords; ++r) {
        for (int f = 0; f < nFields && f < 256; ++f) {
            switch (types[f]) {
                case FTInteger:
                case FTDate: /* YYYYMMDD as a number */
                    sum += DBFReadIntegerAttribute(hDBF, r, f);
                    break;
                case FTDouble:
                    sum += DBFReadDoubleAttribute(hDBF, r, f);
                    break;
                case FTLogical:
                    chars += (unsigned char)DBFReadLogicalAttribute(hDBF, r, f)[0];
                    break;
                default:
                    chars += strlen(DBFReadStringAttribute(hDBF, r, f));
                    break;
            }
        }
    }
    DBFClose(hDBF);
    printf("%d rows (check %.3f %llu)\n", nRecords, sum, chars);
    return 0;
}
