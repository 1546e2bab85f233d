// Reading a game object's XML description by nested element names.
#include <gtest/gtest.h>

#include <string>

#include "Core/PGameObject.h"
#include "Race/PGameObjectXml.h"
#include "ScriptHarness.h"

namespace {

class GameObjectXmlTest : public ::testing::Test {
protected:
    void TearDown() override { CPManagedObject::CollectGarbage(); }
};

TEST_F(GameObjectXmlTest, DescriptionIsLoadedAndQueriedByNestedNames) {
    ScriptHarness::GameRoot root("objects");
    CPRefPtr<CPGameObject> car(new CPGameObject("car"));
    car->SetDescriptionName("car.xml");
    ASSERT_TRUE(car->LoadDescription());
    const TiXmlDocument& doc = car->GetDescription();

    float mass = -1, radius = -1, angle = -1, missing = 99, notNumber = 99;
    std::string model, absentText = "kept";
    EXPECT_TRUE(XmlReadReal(XmlFindElement(&doc, {"car", "physics"}), "mass", mass));
    EXPECT_FLOAT_EQ(mass, 1200.5f);
    EXPECT_TRUE(XmlReadText(XmlFindElement(&doc, {"car", "physics"}), "model", model));
    EXPECT_EQ(model, "coupe");
    EXPECT_TRUE(XmlReadReal(XmlFindElement(&doc, {"car", "physics", "wheels"}), "radius", radius));
    EXPECT_FLOAT_EQ(radius, 0.35f);
    EXPECT_TRUE(XmlReadReal(XmlFindElement(&doc, {"car", "camera"}), "angle", angle));
    EXPECT_FLOAT_EQ(angle, 12);
    // Whatever is missing yields nothing and leaves the caller's value.
    EXPECT_FALSE(XmlReadReal(XmlFindElement(&doc, {"car", "physics"}), "weight", missing));
    EXPECT_FALSE(XmlReadReal(XmlFindElement(&doc, {"car", "render"}), "mass", missing));
    EXPECT_FALSE(XmlReadReal(XmlFindElement(&doc, {"physics"}), "mass", missing));
    EXPECT_FALSE(XmlReadReal(XmlFindElement(&doc, {"car", "camera"}), "height", notNumber));
    EXPECT_FALSE(XmlReadText(nullptr, "model", absentText));
    EXPECT_EQ(missing, 99);
    EXPECT_EQ(notNumber, 99);
    EXPECT_EQ(absentText, "kept");
    EXPECT_EQ(XmlFindElement(&doc, {})->ValueStr(), "car");
    EXPECT_EQ(XmlFindElement(nullptr, {"car"}), nullptr);

    // Files that are missing or not XML: false, and the document is left empty.
    for (const char* name : {"notxml.xml", "unclosed.xml", "empty.xml", "absent.xml", ""}) {
        SCOPED_TRACE(name);
        car->SetDescriptionName(name);
        EXPECT_FALSE(car->LoadDescription());
        EXPECT_EQ(car->GetDescription().RootElement(), nullptr);
        EXPECT_EQ(XmlFindElement(&car->GetDescription(), {"car", "physics"}), nullptr);
    }
}

} // namespace
