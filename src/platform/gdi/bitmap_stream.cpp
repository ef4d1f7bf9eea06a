#include <stdexcept>

#include "platform/gdi/graphics.h"

// Reading and writing Windows bitmap files comes with the picture loader.
void TBitmap::LoadFromStream(TStream& stream)
{
    (void)stream;
    throw std::logic_error("Windows bitmap reading is not available");
}

void TBitmap::SaveToStream(TStream& stream)
{
    (void)stream;
    throw std::logic_error("Windows bitmap writing is not available");
}
