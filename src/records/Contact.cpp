#include "records/Contact.h"

void Contact::setContactNo1Number() {
    const OptString second = ContactNo2();
    const OptString third = ContactNo3();
    updateContactNo1([&](OptString& first) {
        if (!first || !first->empty()) return;
        if (second != std::string())
            first = second;
        else if (third != std::string())
            first = third;
    });
}
