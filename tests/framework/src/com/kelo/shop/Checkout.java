package com.kelo.shop;

import java.util.List;
import org.springframework.beans.factory.annotation.Autowired;
import org.springframework.stereotype.Service;

/** Prices a basket with every rule, injected through its constructor. */
@Service
public class Checkout {
    private final Catalog catalog;
    private final List<PriceRule> rules;

    @Autowired
    public Checkout(Catalog catalog, List<PriceRule> rules) {
        this.catalog = catalog;
        this.rules = rules;
    }

    public long total(String... articles) {
        long sum = 0;
        for (String article : articles) {
            long cents = catalog.price(article);
            for (PriceRule rule : rules) {
                cents = rule.apply(cents);
            }
            sum += cents;
        }
        return sum;
    }

    public List<PriceRule> rules() {
        return rules;
    }
}
