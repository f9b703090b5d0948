package com.kelo.shop;

/** One step of a price: the shop applies every rule it finds, in their order. */
public interface PriceRule {
    long apply(long cents);
}
