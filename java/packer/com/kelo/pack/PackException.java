package com.kelo.pack;

/** A failure caused by the packer's input or options; its message is meant for the user. */
public final class PackException extends Exception {
    private static final long serialVersionUID = 1L;

    public PackException(String message) {
        super(message);
    }

    public PackException(String message, Throwable cause) {
        super(message, cause);
    }
}
