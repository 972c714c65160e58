#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// Number and record formatting for the exporters. The files must keep the
// exact bytes the C library's printf gives for the conversions they use (%f,
// %6.5f, %g, %d, %ld, %x, %s), but printf costs far more than the digits are
// worth: it parses the format for every record, formats through a
// multi-precision path and writes piecewise into the stream. These routines
// give the same bytes from exact integer arithmetic and hand each record to
// the stream in one write.

namespace numberformat {

// Room for any number these routines write (a %f of the largest double has
// 309 integer digits).
constexpr size_t kMaxNumber = 340;

// printf("%.*f", precision, value) for precision 0..10, written at `out`;
// returns the end. Correctly rounded, ties to even, like the C library.
char* Fixed(char* out, double value, int precision);

// printf("%g", value).
char* General(char* out, double value);

// printf("%ld", value).
char* Integer(char* out, long value);

// fprintf(fp, format, ...) for the conversions above, with optional width
// and the 0 and - flags; any other format goes to vfprintf itself. The
// record is written in one piece (or a few for very long strings). Returns
// false when the stream refuses it, where fprintf would give a negative
// result.
bool VPrint(FILE* fp, const char* format, va_list args);

}  // namespace numberformat
