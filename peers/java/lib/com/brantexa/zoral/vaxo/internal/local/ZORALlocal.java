package com.brantexa.zoral.vaxo.internal.local;

import com.brantexa.zoral.vaxo.QelException;

/**
 * In-process access to the local kernel through libvaxolocal.
 *
 * <p>{@link #ukvInit()} must have succeeded before {@link #ukvCall(String)}. Any number of threads
 * may call {@code ukvInit} at once: they take turns, and once one has succeeded the others return
 * without loading anything; after that, any number of threads may call {@code ukvCall} at once.
 */
public final class ZORALlocal {
    static {
        System.loadLibrary("vaxolocal");
    }

    private ZORALlocal() {}

    /** Loads the XML API library once per process. */
    public static native void ukvInit() throws QelException;

    /** Sends one XML request and returns the answer. */
    public static native String ukvCall(String request) throws QelException;

    /** The kernel's version text, or the empty string when the kernel cannot tell. */
    public static native String kernelVersion();
}
