#include "records/Contact.h"

void Contact::setContactNo1Number() {
    if (!ContactNo1_ || !ContactNo1_->empty()) return;
    if (ContactNo2() != std::string())
        ContactNo1_ = ContactNo2();
    else if (ContactNo3() != std::string())
        ContactNo1_ = ContactNo3();
}
