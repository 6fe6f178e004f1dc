// The camera class chosen for a catalogue entry.
#include "camera/DocumentCamera.h"

#include <gtest/gtest.h>

namespace {

TEST(CameraFactory, FamilyTagsChooseTheCameraClass) {
    EXPECT_NE(nullptr, dynamic_cast<Q5Camera*>(CreateDocumentCamera(u"q5").get()));
    EXPECT_NE(nullptr, dynamic_cast<Q5Camera*>(CreateDocumentCamera(u"Q5RVX").get()));
    EXPECT_NE(nullptr, dynamic_cast<RvxCamera*>(CreateDocumentCamera(u"rVxM4120").get()));
    for (const char16_t* other : {u"", u"Q", u"RV", u" Q5", u"XYZ", u"\uFF31\uFF15"})
        EXPECT_EQ(nullptr, CreateDocumentCamera(other));
}

} // namespace
