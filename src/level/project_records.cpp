#include "level/project_records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

// ---------------------------------------------------------------------------
// TSectorGrid

// Sectors are plain bytes, so the grid's block comes from malloc and can
// grow with realloc.
static_assert(std::is_trivially_copyable_v<tsector>);

namespace {

tsector* AllocateSectors(std::size_t n)
{
    void* p = std::malloc(n * sizeof(tsector));
    if (!p) throw std::bad_alloc();
    return static_cast<tsector*>(p);
}

}  // namespace

void TSectorGrid::TFreeCells::operator()(tsector* cells) const noexcept { std::free(cells); }

TSectorGrid::TSectorGrid(const TSectorGrid& other) : columnSlots_(other.columnSlots_), rowSlots_(other.rowSlots_)
{
    if (other.size() > 0) {
        cells_.reset(AllocateSectors(other.size()));
        std::memcpy(static_cast<void*>(cells_.get()), other.cells_.get(), other.size() * sizeof(tsector));
    }
}

TSectorGrid& TSectorGrid::operator=(const TSectorGrid& other)
{
    if (this != &other) {
        TSectorGrid copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void TSectorGrid::Resize(int columnSlots, int rowSlots)
{
    columnSlots = std::max(columnSlots, 0);
    rowSlots = std::max(rowSlots, 0);
    if (columnSlots == columnSlots_ && rowSlots == rowSlots_) return;
    const std::size_t n = static_cast<std::size_t>(columnSlots) * rowSlots;
    std::unique_ptr<tsector, TFreeCells> cells;
    if (n > 0) {
        cells.reset(AllocateSectors(n));
        std::memset(static_cast<void*>(cells.get()), 0, n * sizeof(tsector));
        const int keepColumns = std::min(columnSlots, columnSlots_);
        const int keepRows = std::min(rowSlots, rowSlots_);
        for (int c = 0; c < keepColumns && keepRows > 0; ++c)
            std::memcpy(static_cast<void*>(cells.get() + static_cast<std::size_t>(c) * rowSlots),
                        cells_.get() + static_cast<std::size_t>(c) * rowSlots_, keepRows * sizeof(tsector));
    }
    cells_ = std::move(cells);
    columnSlots_ = n > 0 ? columnSlots : 0;
    rowSlots_ = n > 0 ? rowSlots : 0;
}

void TSectorGrid::ResizeForOverwrite(int columnSlots, int rowSlots)
{
    columnSlots = std::max(columnSlots, 0);
    rowSlots = std::max(rowSlots, 0);
    const std::size_t n = static_cast<std::size_t>(columnSlots) * rowSlots;
    if (n != size()) {
        cells_.reset();
        if (n > 0) cells_.reset(AllocateSectors(n));
    }
    columnSlots_ = n > 0 ? columnSlots : 0;
    rowSlots_ = n > 0 ? rowSlots : 0;
}

void TSectorGrid::ResizeColumnsForOverwrite(int columnSlots)
{
    columnSlots = std::max(columnSlots, 0);
    const std::size_t n = static_cast<std::size_t>(columnSlots) * rowSlots_;
    if (n == 0) {
        Clear();
        return;
    }
    if (n != size()) {
        void* p = std::realloc(cells_.get(), n * sizeof(tsector));
        if (!p) throw std::bad_alloc();
        (void)cells_.release();
        cells_.reset(static_cast<tsector*>(p));
    }
    columnSlots_ = columnSlots;
}

void TSectorGrid::Clear()
{
    cells_.reset();
    columnSlots_ = rowSlots_ = 0;
}

tsector& TSectorGrid::at(int column, int row)
{
    if (column < 0 || row < 0 || column >= columnSlots_ || row >= rowSlots_)
        throw std::out_of_range("sector [" + std::to_string(column) + "][" + std::to_string(row) +
                                "] outside a grid of " + std::to_string(columnSlots_) + " x " +
                                std::to_string(rowSlots_));
    return (*this)[column][row];
}

const tsector& TSectorGrid::at(int column, int row) const { return const_cast<TSectorGrid*>(this)->at(column, row); }

// ---------------------------------------------------------------------------
// Room and project resets

void DefaultFaceUV(tface_texture& face)
{
    face.uv[0] = {0.0f, 0.0f};
    face.uv[1] = {1.0f, 0.0f};
    face.uv[2] = {1.0f, 1.0f};
    face.uv[3] = {0.0f, 1.0f};
}

namespace {

// A sector as the reset leaves it, before the border rule; the option bytes
// are taken from the sector being reset.
tsector FreshSector()
{
    tsector s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    for (auto& row : s.walls)
        for (auto& face : row) DefaultFaceUV(face);
    DefaultFaceUV(s.floorFaces[0]);
    DefaultFaceUV(s.floorFaces[1]);
    // Indexed stores: the heights are not aligned inside the packed record.
    for (int i = 0; i < 6; ++i) {
        s.floorPieceHeights[i] = 1.0f;
        s.ceilingPieceHeights[i] = 1.0f;
    }
    return s;
}

}  // namespace

void InitRoomSectors(tcuarto_list& project, uint8_t room)
{
    tcuarto& r = project.rooms.at(room);
    r.sectors.Resize(r.columns + 1, r.rows + 1);
    const uint8_t columns = static_cast<uint8_t>(r.columns);
    const uint8_t rows = static_cast<uint8_t>(r.rows);
    if (columns != 0) {
        const tsector fresh = FreshSector();
        const int8_t borderBase = static_cast<int8_t>(static_cast<uint8_t>(r.height));
        for (int c = 1; c <= columns; ++c) {
            tsector* column = r.sectors[c];
            for (int w = 1; w <= rows; ++w) {
                tsector& s = column[w];
                const uint8_t floorOption = s.floorOption;
                const uint8_t ceilingOption = s.ceilingOption;
                s = fresh;
                s.floorOption = floorOption;
                s.ceilingOption = ceilingOption;
                if (w == 1 || w == r.rows || c == 1 || c == r.columns) s.floorBase = borderBase;
            }
        }
    }
    r.boxCount = 0;
    r.staticCount = 0;
    r.lightCount = 0;
}

void ResetProject(tcuarto_list& project)
{
    project.roomCount = 0;
    project.rooms.resize(SPARE_ROOM_SLOTS);
    project.currentRoom = 1;
    project.playerRoom = 1;
    project.playerColumn = 2;
    project.playerRow = 2;
    project.itemCount = 0;
    project.cameraCount = 0;
    project.flybyCount = 0;
    project.soundSourceCount = 0;
    project.triggerCount = 0;
    project.animSetCount = 0;
    project.selectedItem = 0;
    project.highlightedItem = 0;
    project.selectedCamera = 0;
    project.selectedFlyby = 0;
    project.selectedSoundSource = 0;
}
