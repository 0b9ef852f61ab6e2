// The signer's display name that the check looks at, chosen from the subject's attributes.
#include <gtest/gtest.h>

#include "trust/signer_rule.h"

namespace {

TEST(SignerDisplayName, CommonNameThenUnitThenCompanyThenMailThenTheFirst) {
    using A = NameAttribute;
    const struct {
        std::vector<SubjectAttribute> subject;
        const wchar_t* name;
    } cases[] = {
        {{{A::kOrganization, L"o"}, {A::kOrganizationalUnit, L"ou"}, {A::kCommonName, L"cn"}},
         L"cn"},
        {{{A::kOrganization, L"o"},
          {A::kOrganizationalUnit, L"ou1"},
          {A::kOrganizationalUnit, L"ou2"}},
         L"ou1"},
        {{{A::kOther, L"CN"}, {A::kEmail, L"e"}, {A::kOrganization, L"o"}}, L"o"},
        {{{A::kOther, L"CN"}, {A::kEmail, L"e"}}, L"e"},
        {{{A::kOther, L"Beijing"}, {A::kOther, L"CN"}}, L"Beijing"},
        {{}, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SignerDisplayName(c.subject), c.name);
}

}  // namespace
