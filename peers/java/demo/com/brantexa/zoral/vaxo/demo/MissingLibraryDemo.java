package com.brantexa.zoral.vaxo.demo;

import com.brantexa.zoral.vaxo.QelException;
import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;

/** Shows what a user sees when the XML API library cannot be found. */
public final class MissingLibraryDemo {
    private MissingLibraryDemo() {}

    public static void main(String[] args) {
        try {
            ZORALlocal.ukvInit();
            System.out.println("ukvInit() unexpectedly found an XML API library");
            System.exit(1);
        } catch (QelException e) {
            System.out.println(e.getClass().getName() + ": " + e.getMessage());
        }
    }
}
