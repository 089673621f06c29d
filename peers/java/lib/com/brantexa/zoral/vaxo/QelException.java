package com.brantexa.zoral.vaxo;

/** Raised by the native bridge when the XML API library cannot be loaded or reached. */
public class QelException extends Exception {
    private static final long serialVersionUID = 1L;

    public QelException(String message) {
        super(message);
    }
}
