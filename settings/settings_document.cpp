#include "settings/settings_document.h"

#include "xml/tag.h"

namespace pyrrow::settings {

std::string NestingProblem(const CMyTag& root)
{
    int level = 1;
    const CMyTag* element = &root;
    while (element != nullptr) {
        if (element->m_pChild != nullptr) {
            element = element->m_pChild;
            if (++level > kMaxNesting)
                return "holds elements nested more than " + std::to_string(kMaxNesting) +
                       " levels deep, far deeper than a settings file ever is";
            continue;
        }
        while (element != nullptr && element->m_pNext == nullptr) {
            element = element->m_pParent;
            --level;
        }
        if (element != nullptr)
            element = element->m_pNext;
    }
    return {};
}

}  // namespace pyrrow::settings
