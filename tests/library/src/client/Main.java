package client;

import vendor.Limits;

/** A customer's code: the vendor's constants in case labels, an annotation and a subclass. */
@Main.Budget(Limits.UNIT * 4)
public class Main extends Limits {
    @interface Budget { long value(); }

    public static void main(String[] args) {
        for (int items : new int[] {Limits.MAX, Limits.Size.SMALL, STEP, 100}) {
            switch (items) {
                case Limits.MAX -> System.out.println("the most, in bytes: " + Limits.UNIT * items);
                case Limits.Size.SMALL, STEP -> System.out.println(items + ": one step, " + NAME);
                default -> System.out.println(items + ": " + steps(items) + " steps");
            }
        }
    }
}
