#pragma once
// Reading an object's XML description: elements are reached by nested child names, attributes are
// read as real numbers or texts. Whatever is missing yields nothing: the readers answer false and
// leave the destination as it was, so a caller's default stands.
#include <initializer_list>
#include <string>
#include <string_view>

#include <tinyxml.h>

// The element reached from `from` by taking, for each name in turn, the first child element of that
// name; null when any step is missing (or from is null). An empty path answers from's root element
// when from is a document, else from itself when it is an element.
const TiXmlElement* XmlFindElement(const TiXmlNode* from, std::initializer_list<std::string_view> path);

// The attribute as a real number; false when the element or attribute is missing or not a number.
bool XmlReadReal(const TiXmlElement* element, const char* attribute, float& value);
// The attribute's text; false when the element or attribute is missing.
bool XmlReadText(const TiXmlElement* element, const char* attribute, std::string& value);
