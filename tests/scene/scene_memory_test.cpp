// The scene when memory runs out while it is being built: the out-of-memory
// message, nothing half built left to draw or to read, and the next update
// building what a scene that never ran out builds.
#include "support/view_fixture.h"
// The one file of this program that replaces its operators new and delete.
#define FAILING_ALLOCATIONS_OPERATORS
#include "support/failing_allocations.h"

namespace {

// Four rooms of 12 x 12 sectors, a step in each (current 1, neighbour 2,
// the others through the filter, the player start in room 3), with a
// camera of room 1 shown: more vertices than a block of the vertex list
// holds, and enough for the sort's ways for many names.
class SceneMemory : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        OpenView();
        for (int n = 0; n < 4; ++n) {
            project.Room().At(13 * n, 0).Height(6).Size(12, 12);
            project.At(n + 1, 2, 2).floorBase = int8_t(2 + n);
        }
        project.currentRoom = 1;
        project.neighbourRoom = 2;
        project.playerRoom = 3;
        project.cameraCount = 1;
        project.cameras[1] = tcamera{};
        project.cameras[1].room = 1;
        for (tr_scene* s : {scene.get(), &reference}) {
            Show(*s);
            s->Update();
        }
    }
    // The project in a scene, every room shown, in the cameras' edit mode.
    void Show(tr_scene& s)
    {
        s.Project = &project;
        s.RoomFilter = "ALL,";
        s.EditMode = 4;
    }
    // The scene made anew, not built yet.
    void Restart()
    {
        scene = std::make_unique<tr_scene>();
        Show(*scene);
    }
    // What the reference scene holds, list by list, and its buffers draw.
    void ExpectAsTheReference(const std::string& label)
    {
        reference.SetDirty(10);
        reference.Update();
        for (int list = 0; list < SCENE_BUFFERS; ++list) {
            EXPECT_EQ(scene->GL.Counts[list], reference.GL.Counts[list]) << label << " list " << list;
            EXPECT_EQ(scene->Buffers[list].PrimitiveCount, reference.Buffers[list].PrimitiveCount)
                << label << " list " << list;
        }
        EXPECT_EQ(scene->Dirty, TFlags{}) << label;
    }

    using TFlags = std::array<uint8_t, SCENE_LAYERS>;
    TTestProject project;
    std::unique_ptr<tr_scene> scene = std::make_unique<tr_scene>();
    tr_scene reference;
};

}  // namespace

// The layer cannot hold the filter rooms being built again: the message is
// shown once, every list is empty (and every layer to be built again), the
// buffers of the layers being rebuilt draw nothing, the others draw what
// they drew; the drawing layer's limits and matrices are as they were. With
// room again, the next update builds everything.
TEST_F(SceneMemory, ALayerThatCannotBeHeldLeavesEveryLayerToBeBuiltAgain)
{
    ASSERT_GT(scene->GL.Counts[0], 0);
    ASSERT_GT(scene->GL.Counts[7], 0);
    // Room for what stays, and ten more.
    int64_t kept = scene->GL.Held() - scene->GL.Counts[0];
    for (int list = 3; list <= 6; ++list) kept -= scene->GL.Counts[list];
    std::vector<uint32_t> drawn;
    for (int list = 0; list < SCENE_BUFFERS; ++list) drawn.push_back(scene->Buffers[list].PrimitiveCount);
    scene->GL.VertexCapacity = kept + 10;
    scene->SetDirty(2);  // filter rooms, statics and items
    scene->Update();
    EXPECT_EQ(sink.exceptions, std::vector<std::string>{OUT_OF_MEMORY_MESSAGE});
    EXPECT_EQ(scene->GL.Held(), 0);
    EXPECT_EQ(scene->GL.Vertices.Count(), 0);
    for (int list = 0; list < VertexListCount; ++list) EXPECT_EQ(scene->GL.Counts[list], 0) << list;
    TFlags all;
    all.fill(1);
    EXPECT_EQ(scene->Dirty, all);
    EXPECT_EQ(scene->GL.VertexLimit, INT64_MAX);
    EXPECT_EQ(int(scene->GL.Depth), 0);
    for (int list = 0; list < SCENE_BUFFERS; ++list) {
        const bool rebuilt = list == 0 || (list >= 3 && list <= 6);
        const Tvbuffer& b = scene->Buffers[list];
        EXPECT_EQ(b.PrimitiveCount, rebuilt ? 0 : drawn[size_t(list)]) << list;
        if (rebuilt) { EXPECT_FALSE(b.VertexBuffer) << list; }
        if (!rebuilt && drawn[size_t(list)] != 0) { EXPECT_TRUE(b.VertexBuffer) << list; }
    }
    EXPECT_EQ(scene->GL.VertexCapacity, kept + 10);
    scene->GL.VertexCapacity = LayerVertexCapacity;
    scene->Update();
    ExpectAsTheReference("after the layer's capacity");
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_TRUE(sink.messages.empty());
}

// Each allocation of an update fails in turn (the vertex list's blocks and
// slots, its sort, the buffers and their groups, the scene's own), in a new
// scene and in one built before: every time the message is shown, nothing
// is left to read or draw from the lists, and the update that follows
// builds what the reference has.
TEST_F(SceneMemory, EveryAllocationOfAnUpdateMayFail)
{
    for (const bool fresh : {true, false}) {
        int failures = 0;
        sink.exceptions.clear();
        for (int64_t k = 0;; ++k) {
            if (fresh) Restart();
            scene->SetDirty(10);
            {
                TFailingAllocation failing(k);
                scene->Update();
                if (!TFailingAllocation::Failed()) break;
            }
            ++failures;
            ASSERT_EQ(sink.exceptions.size(), size_t(failures)) << fresh << " " << k;
            ASSERT_EQ(scene->GL.Held(), 0) << fresh << " " << k;
            for (int list = 0; list < SCENE_BUFFERS; ++list)
                ASSERT_EQ(scene->Buffers[list].PrimitiveCount, 0u) << fresh << " " << k << " list " << list;
            scene->Update();
            ExpectAsTheReference(std::to_string(fresh) + " after allocation " + std::to_string(k));
            if (HasFailure()) return;
        }
        EXPECT_GT(failures, fresh ? 30 : 10) << fresh;
        EXPECT_EQ(sink.exceptions, std::vector<std::string>(size_t(failures), OUT_OF_MEMORY_MESSAGE)) << fresh;
    }
    EXPECT_TRUE(sink.messages.empty());
}
