// CNBC's answers as they might come: the quote parser on arbitrary bytes.
#include "gateway/sources/cnbc.h"
#include "livesourcecheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckSourceResult(ParseCnbcQuote(body));
    return 0;
}
