#include "Race/PGameObjectXml.h"

#include <cstdlib>

const TiXmlElement* XmlFindElement(const TiXmlNode* from, std::initializer_list<std::string_view> path) {
    if (!from) return nullptr;
    const TiXmlElement* element = nullptr;
    const TiXmlNode* node = from;
    if (path.size() == 0) {
        if (const TiXmlDocument* document = from->ToDocument()) return document->RootElement();
        return from->ToElement();
    }
    for (std::string_view name : path) {
        element = nullptr;
        for (const TiXmlElement* child = node->FirstChildElement(); child; child = child->NextSiblingElement()) {
            if (child->ValueStr() == name) {
                element = child;
                break;
            }
        }
        if (!element) return nullptr;
        node = element;
    }
    return element;
}

bool XmlReadReal(const TiXmlElement* element, const char* attribute, float& value) {
    if (!element || !attribute) return false;
    const char* text = element->Attribute(attribute);
    if (!text) return false;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text) return false;
    value = static_cast<float>(parsed);
    return true;
}

bool XmlReadText(const TiXmlElement* element, const char* attribute, std::string& value) {
    if (!element || !attribute) return false;
    const char* text = element->Attribute(attribute);
    if (!text) return false;
    value = text;
    return true;
}
