package com.kelo.shop;

import org.springframework.core.annotation.Order;
import org.springframework.stereotype.Component;

/** Price rules, found as static nested components; a non-static inner class is not a candidate. */
public final class Rules {
    private Rules() {}

    @Component
    @Order(1)
    static class MemberDiscount implements PriceRule {
        @Override
        public long apply(long cents) {
            return cents * 90 / 100;
        }

        @Override
        public String toString() {
            return "member discount 10%";
        }
    }

    @Component
    @Order(2)
    static class Tax implements PriceRule {
        @Override
        public long apply(long cents) {
            return cents * 120 / 100;
        }

        @Override
        public String toString() {
            return "tax 20%";
        }
    }

    @Component
    class NotIndependent implements PriceRule {
        @Override
        public long apply(long cents) {
            throw new IllegalStateException("an inner class must not become a bean");
        }
    }
}
