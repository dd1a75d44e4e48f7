/* Writes the benchmark's large workbook with libxlsxwriter: one sheet of
 * ROWS x COLUMNS cells, text in the even columns (half of it holding the
 * word "alpha") and numbers in the odd ones, with shared strings as Excel
 * writes them. Usage: make_big_workbook FILE ROWS COLUMNS */
#include <stdio.h>
#include <stdlib.h>
#include <xlsxwriter.h>

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: %s FILE ROWS COLUMNS\n", argv[0]);
        return 2;
    }
    const int rows = atoi(argv[2]), cols = atoi(argv[3]);
    lxw_workbook *wb = workbook_new(argv[1]);
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Data");
    char text[64];
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (c % 2 == 0) {
                snprintf(text, sizeof text, "%s item %d", (r + c / 2) % 2 ? "alpha" : "beta", (r * 7 + c) % 50000);
                worksheet_write_string(ws, (lxw_row_t)r, (lxw_col_t)c, text, NULL);
            } else {
                worksheet_write_number(ws, (lxw_row_t)r, (lxw_col_t)c, r * 1.5 + c, NULL);
            }
        }
    }
    return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}
