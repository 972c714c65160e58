// Runs the Khronos glTF Validator (npm package gltf-validator, found through
// NODE_PATH) over every file named on the command line, one node start for
// all of them. Prints one line per file:
//   FILE errors=N warnings=N infos=N triangles=N draws=N
// followed by one "  CODE severity pointer: message" line per error or
// warning. Exit status 0 when every file was read, 1 when the validator
// itself failed on one, 2 when the package is missing.
'use strict';
const fs = require('fs');
const path = require('path');

let validator;
try {
    validator = require('gltf-validator');
} catch (e) {
    console.log('gltf-validator not found: ' + e.message);
    process.exit(2);
}

async function main(files) {
    let failed = false;
    for (const file of files) {
        try {
            const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
                uri: path.basename(file),
                maxIssues: 100,
                // Our files carry everything inside; anything asked for
                // outside them is a fault.
                externalResourceFunction: (uri) => Promise.reject(new Error('external resource ' + uri)),
            });
            const issues = report.issues;
            const info = report.info || {};
            console.log(`${file} errors=${issues.numErrors} warnings=${issues.numWarnings} ` +
                        `infos=${issues.numInfos} triangles=${info.totalTriangleCount} ` +
                        `draws=${info.drawCallCount}`);
            for (const m of issues.messages)
                if (m.severity <= 1)
                    console.log(`  ${m.code} ${m.severity} ${m.pointer || m.offset || ''}: ${m.message}`);
        } catch (e) {
            console.log(`${file} failed: ${e && e.message ? e.message : e}`);
            failed = true;
        }
    }
    process.exit(failed ? 1 : 0);
}

main(process.argv.slice(2));
